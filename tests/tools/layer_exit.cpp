// Ends its process the hard way for one of our ASPI layers (WNASPI32.DLL beside it): a request to
// 0:1 still pending with the layer, and another thread holding the process heap's lock, as
// ExitProcess leaves a thread it ends in the middle of an allocation. A layer that allocates,
// or waits, while the process ends would hang it for good; the test gives it a second.
#include <windows.h>

#include "aspi/request_block.h"

namespace {

HANDLE locked = nullptr;

DWORD WINAPI holdHeap(LPVOID) {
    HeapLock(GetProcessHeap());
    SetEvent(locked);
    Sleep(INFINITE);
    return 0;
}

} // namespace

int main() {
    const HMODULE layer = LoadLibraryA("WNASPI32.DLL");
    using SupportFn = DWORD(__cdecl*)(void);
    using SendFn = DWORD(__cdecl*)(void*);
    const auto support = reinterpret_cast<SupportFn>(
        reinterpret_cast<void*>(GetProcAddress(layer, "GetASPI32SupportInfo")));
    const auto send = reinterpret_cast<SendFn>(
        reinterpret_cast<void*>(GetProcAddress(layer, "SendASPI32Command")));
    if (support == nullptr || send == nullptr || ((support() >> 8) & 0xFF) != aspi::SS_COMP) {
        return 1;
    }
    static aspi::RequestBlock block{}; // TEST UNIT READY, which the drive never answers
    block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    block.SRB_Target = 1;
    block.SRB_Flags = aspi::SRB_EVENT_NOTIFY;
    block.SRB_SenseLen = aspi::SENSE_LEN;
    block.SRB_CDBLen = 6;
    const HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    block.SRB_PostProc = done;
    send(&block);
    if (WaitForSingleObject(done, 200) != WAIT_TIMEOUT) {
        return 2; // it was meant to stay pending
    }
    locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    CloseHandle(CreateThread(nullptr, 0, holdHeap, nullptr, 0, &id));
    WaitForSingleObject(locked, INFINITE);
    ExitProcess(0);
}
