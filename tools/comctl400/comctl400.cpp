// The progress bar of the first common controls (4.00, Windows 95 without Internet Explorer 3)
// in a program that runs on later ones: the driver's `hook` step hooks this library into the
// program's thread before it makes its first window (a CBT hook), and every progress bar the
// thread makes is subclassed at its creation. Version 4.00 knows PBM_SETRANGE, PBM_SETPOS,
// PBM_DELTAPOS, PBM_SETSTEP and PBM_STEPIT; every later message of the control's own (from
// PBM_SETRANGE32 on: 32-bit ranges, reading range and position back, colours, the CCM_
// messages of all common controls) reaches its default window procedure there, which answers
// 0. So here they get 0 and never reach the control, as long as the program's own thread sends
// them; other threads (the driver reading the bar from outside) still get the control's
// answers. What the bar shows after each message the program sends is written to the file
// named in KXD_PROGRESS_LOG, a line "range MIN MAX position POS" for every change.
#include <windows.h>

#include <commctrl.h>

namespace {

constexpr const char* OriginalProcedure = "kxd.comctl400.procedure";

HANDLE logFile = INVALID_HANDLE_VALUE;
char lastLine[64] = "";

void logShown(HWND bar, WNDPROC original) {
    if (logFile == INVALID_HANDLE_VALUE) {
        return;
    }
    PBRANGE range{0, 0};
    CallWindowProcA(original, bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    const int position = static_cast<int>(CallWindowProcA(original, bar, PBM_GETPOS, 0, 0));
    char line[sizeof lastLine];
    const int length =
        wsprintfA(line, "range %d %d position %d\r\n", range.iLow, range.iHigh, position);
    if (lstrcmpA(line, lastLine) != 0) {
        DWORD written = 0;
        WriteFile(logFile, line, static_cast<DWORD>(length), &written, nullptr);
        lstrcpyA(lastLine, line);
    }
}

LRESULT CALLBACK progressBar400(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropA(bar, OriginalProcedure));
    if (message >= PBM_SETRANGE32 && message < WM_APP && !InSendMessage()) {
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropA(bar, OriginalProcedure);
    }
    const LRESULT result = CallWindowProcA(original, bar, message, wParam, lParam);
    if (message >= PBM_SETRANGE && message <= PBM_STEPIT && !InSendMessage()) {
        logShown(bar, original);
    }
    return result;
}

} // namespace

// The CBT hook: a progress bar is subclassed as soon as it exists, before it gets its first
// message.
extern "C" __declspec(dllexport) LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[32] = "";
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpiA(name, PROGRESS_CLASSA) == 0) {
            if (logFile == INVALID_HANDLE_VALUE) {
                char path[MAX_PATH];
                const DWORD length = GetEnvironmentVariableA("KXD_PROGRESS_LOG", path, MAX_PATH);
                if (length > 0 && length < MAX_PATH) {
                    logFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                }
            }
            SetPropA(window, OriginalProcedure,
                     reinterpret_cast<HANDLE>(SetWindowLongPtrA(
                         window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(progressBar400))));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && logFile != INVALID_HANDLE_VALUE) {
        CloseHandle(logFile);
    }
    return TRUE;
}
