// The steps of the script language (tools/README.md), one branch each.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "driver.h"
#include "package/firmware_area.h"
#include "screen.h"
#include "text_fit.h"

namespace driver {

namespace {

// Both files exist and hold the same bytes.
bool sameFile(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    if (!x || !y) {
        return false;
    }
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

} // namespace

void Driver::step(const Words& w) {
    const std::string& op = w[0];
    if (op == "set") {
        expectCount(w, 3, 3, "set NAME VALUE");
        variables[w[1]] = w[2];
    } else if (op == "echo") {
        for (size_t i = 1; i < w.size(); ++i) {
            std::printf("%s%s", i > 1 ? " " : "", w[i].c_str());
        }
        std::printf("\n");
    } else if (op == "env") {
        expectCount(w, 2, 3, "env NAME [VALUE]");
        // The program started next inherits it (WINEDLLOVERRIDES, for one).
        SetEnvironmentVariableA(w[1].c_str(), w.size() == 3 ? w[2].c_str() : nullptr);
    } else if (op == "copy") {
        // With --once, a destination that holds the same bytes already is left alone: another
        // program of the same prefix may have it loaded, and then it cannot be written.
        const bool once = w.size() == 4 && w[1] == "--once";
        expectCount(w, once ? 4 : 3, once ? 4 : 3, "copy [--once] FROM TO");
        const std::string from = windowsPath(w[once ? 2 : 1]);
        const std::string to = windowsPath(w[once ? 3 : 2]);
        if ((!once || !sameFile(from, to)) && !CopyFileA(from.c_str(), to.c_str(), FALSE) &&
            !(once && sameFile(from, to))) {
            throw Failure("cannot copy " + from + " to " + to);
        }
    } else if (op == "delete") {
        expectCount(w, 2, 2, "delete FILE");
        DeleteFileA(windowsPath(w[1]).c_str());
    } else if (op == "mkdir") {
        expectCount(w, 2, 2, "mkdir DIR");
        CreateDirectoryA(windowsPath(w[1]).c_str(), nullptr);
    } else if (op == "expect-file" || op == "expect-no-file") {
        expectCount(w, 2, op == "expect-file" ? 3 : 2,
                    "expect-file FILE [SIZE] | expect-no-file FILE");
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const bool exists =
            GetFileAttributesExA(windowsPath(w[1]).c_str(), GetFileExInfoStandard, &data) != 0;
        if (op == "expect-no-file") {
            if (exists) {
                throw Failure(w[1] + " exists");
            }
        } else if (!exists) {
            throw Failure(w[1] + " does not exist");
        } else if (w.size() == 3 && data.nFileSizeLow != static_cast<DWORD>(toInt(w[2]))) {
            throw Failure(w[1] + " has " + std::to_string(data.nFileSizeLow) + " bytes, not " +
                          w[2]);
        }
    } else if (op == "timeout") {
        expectCount(w, 2, 2, "timeout SECONDS");
        timeoutMs_ = static_cast<DWORD>(std::atof(w[1].c_str()) * 1000);
    } else if (op == "sleep") {
        expectCount(w, 2, 2, "sleep MILLISECONDS");
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < static_cast<DWORD>(toInt(w[1]))) {
            poll();
            Sleep(20);
        }
    } else if (op == "hook") {
        expectCount(w, 2, 2, "hook LIBRARY");
        hookLibrary_ = windowsPath(w[1]);
    } else if (op == "start") {
        size_t at = 1;
        std::string cwd;
        if (w.size() > 2 && w[1] == "--cwd") {
            cwd = windowsPath(w[2]);
            at = 3;
        }
        if (w.size() <= at) {
            throw Failure("usage: start [--cwd DIR] PROGRAM [ARGS...]");
        }
        if (process_.hProcess) {
            throw Failure("a program is running already");
        }
        std::string command = quoted(windowsPath(w[at]));
        for (size_t i = at + 1; i < w.size(); ++i) {
            // An empty argument stays an argument.
            command += " " + (w[i].empty() ? std::string("\"\"") : w[i]);
        }
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        const DWORD flags = hookLibrary_.empty() ? 0 : CREATE_SUSPENDED;
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                            cwd.empty() ? nullptr : cwd.c_str(), &startup, &process_)) {
            throw Failure("cannot start " + command + " (error " + std::to_string(GetLastError()) +
                          ")");
        }
        running_ = true;
        window_ = nullptr;
        box_ = nullptr;
        if (!hookLibrary_.empty()) {
            hookProgram();
            ResumeThread(process_.hThread);
        }
    } else if (op == "wait-window" || op == "expect-no-window") {
        size_t at = 1;
        std::string cls;
        if (w.size() > 2 && w[1] == "--class") {
            cls = w[2];
            at = 3;
        }
        if (w.size() != at + 1) {
            throw Failure("usage: " + op + " [--class CLASS] TITLE-PREFIX");
        }
        requireProcess();
        const std::string prefix = w[at];
        const auto find = [&](std::string& last) -> HWND {
            for (HWND window : topWindows()) {
                RECT r;
                GetWindowRect(window, &r);
                const std::string title = windowText(window);
                if (isBoxWindow(window) || r.right - r.left <= 1 || r.bottom - r.top <= 1) {
                    continue; // boxes, and the application's window of no size
                }
                last = quoted(title);
                if (title.compare(0, prefix.size(), prefix) == 0 &&
                    (cls.empty() || className(window) == cls)) {
                    return window;
                }
            }
            return nullptr;
        };
        if (op == "expect-no-window") {
            std::string last;
            if (HWND window = find(last)) {
                throw Failure("a window " + quoted(windowText(window)) + " is on screen");
            }
        } else {
            waitFor("a window " + quoted(prefix + "..."), [&](std::string& last) {
                window_ = find(last);
                return window_ != nullptr;
            });
        }
    } else if (op == "expect-title") {
        expectCount(w, 2, 2, "expect-title TEXT");
        waitFor("title " + quoted(w[1]), [&](std::string& last) {
            last = quoted(windowText(requireWindow()));
            return windowText(window_) == w[1];
        });
    } else if (op == "expect-client") {
        expectCount(w, 3, 3, "expect-client WIDTH HEIGHT");
        const int width = toInt(w[1]);
        const int height = toInt(w[2]);
        waitFor("client area " + w[1] + " x " + w[2], [&](std::string& last) {
            RECT r;
            GetClientRect(requireWindow(), &r);
            last = std::to_string(r.right) + " x " + std::to_string(r.bottom);
            return r.right == width && r.bottom == height;
        });
    } else if (op == "expect-visible" || op == "expect-hidden" || op == "expect-enabled" ||
               op == "expect-disabled") {
        expectCount(w, 2, 2, "expect-visible|expect-hidden|expect-enabled|expect-disabled CONTROL");
        waitFor(op.substr(7) + " " + w[1], [&](std::string& last) {
            HWND control = findControl(w[1]);
            const LONG style = GetWindowLongA(control, GWL_STYLE);
            const bool visible = (style & WS_VISIBLE) != 0;
            const bool enabled = (style & WS_DISABLED) == 0;
            last = std::string(visible ? "visible" : "hidden") + ", " +
                   (enabled ? "enabled" : "disabled");
            return op == "expect-visible"   ? visible
                   : op == "expect-hidden"  ? !visible
                   : op == "expect-enabled" ? enabled
                                            : !enabled;
        });
    } else if (op == "expect-rect") {
        expectCount(w, 6, 6, "expect-rect CONTROL LEFT TOP WIDTH HEIGHT");
        const RECT expected{toInt(w[2]), toInt(w[3]), toInt(w[2]) + toInt(w[4]),
                            toInt(w[3]) + toInt(w[5])};
        waitFor(w[1] + " at " + w[2] + "," + w[3] + " size " + w[4] + " x " + w[5],
                [&](std::string& last) {
                    RECT r;
                    GetWindowRect(findControl(w[1]), &r);
                    MapWindowPoints(nullptr, requireWindow(), reinterpret_cast<POINT*>(&r), 2);
                    last = std::to_string(r.left) + "," + std::to_string(r.top) + " size " +
                           std::to_string(r.right - r.left) + " x " +
                           std::to_string(r.bottom - r.top);
                    return EqualRect(&r, &expected) != FALSE;
                });
    } else if (op == "expect-focus") {
        expectCount(w, 2, 2, "expect-focus CONTROL");
        waitFor("the focus on " + w[1], [&](std::string& last) {
            HWND control = findControl(w[1]);
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            if (!GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &info)) {
                return false;
            }
            HWND focus = info.hwndFocus;
            // The edit field of a combo box is its child.
            while (focus && GetParent(focus) && GetParent(focus) != requireWindow()) {
                focus = GetParent(focus);
            }
            last = focus ? "#" + std::to_string(GetDlgCtrlID(focus)) + " " + className(focus)
                         : "nothing";
            return focus == control;
        });
    } else if (op == "expect-text") {
        expectCount(w, 3, 3, "expect-text CONTROL TEXT");
        waitFor(w[1] + " showing " + quoted(w[2]), [&](std::string& last) {
            last = quoted(windowText(findControl(w[1])));
            return windowText(findControl(w[1])) == w[2];
        });
    } else if (op == "expect-items") {
        expectCount(w, 2, 1000, "expect-items CONTROL [ITEM...]");
        const Words expected(w.begin() + 2, w.end());
        waitFor(w[1] + " listing " + joinQuoted(expected), [&](std::string& last) {
            Words items;
            if (!readItems(findControl(w[1]), items)) {
                last = "(busy)";
                return false;
            }
            last = "[" + joinQuoted(items) + "]";
            return items == expected;
        });
    } else if (op == "expect-index") {
        expectCount(w, 3, 3, "expect-index CONTROL INDEX");
        const int expected = toInt(w[2]);
        waitFor(w[1] + " at item " + w[2], [&](std::string& last) {
            int index = 0;
            if (!readIndex(findControl(w[1]), index)) {
                last = "(busy)";
                return false;
            }
            last = std::to_string(index);
            return index == expected;
        });
    } else if (op == "expect-progress") {
        expectCount(w, 5, 5, "expect-progress CONTROL MIN MAX POSITION");
        const int lo = toInt(w[2]), hi = toInt(w[3]), pos = toInt(w[4]);
        waitFor(w[1] + " at " + w[2] + ".." + w[3] + " position " + w[4], [&](std::string& last) {
            HWND bar = findControl(w[1]);
            LRESULT a = 0, b = 0, p = 0;
            if (!sendTimeout(bar, PBM_GETRANGE, TRUE, 0, a) ||
                !sendTimeout(bar, PBM_GETRANGE, FALSE, 0, b) ||
                !sendTimeout(bar, PBM_GETPOS, 0, 0, p)) {
                last = "(busy)";
                return false;
            }
            last = std::to_string(a) + ".." + std::to_string(b) + " position " + std::to_string(p);
            return a == lo && b == hi && p == pos;
        });
    } else if (op == "click") {
        expectCount(w, 2, 2, "click CONTROL");
        HWND button = findControl(w[1]);
        waitFor(w[1] + " visible and enabled",
                [&](std::string&) { return IsWindowVisible(button) && IsWindowEnabled(button); });
        settle(button);
        // Posted, not sent: the handler may open a modal box and hold the program's thread.
        PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    } else if (op == "select") {
        expectCount(w, 3, 3, "select CONTROL INDEX|\"ITEM TEXT\"");
        HWND control = findControl(w[1]);
        int index = -1;
        waitFor(w[1] + " holding " + quoted(w[2]), [&](std::string& last) {
            Words items;
            if (!readItems(control, items)) {
                return false;
            }
            last = "[" + joinQuoted(items) + "]";
            char* end = nullptr;
            const long n = std::strtol(w[2].c_str(), &end, 10);
            if (!w[2].empty() && !*end) {
                index = static_cast<int>(n);
                return n >= 0 && n < static_cast<long>(items.size());
            }
            const auto found = std::find(items.begin(), items.end(), w[2]);
            index = static_cast<int>(found - items.begin());
            return found != items.end();
        });
        const bool list = isListBox(control);
        LRESULT ignored = 0;
        if (!sendTimeout(control, list ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index), 0,
                         ignored)) {
            throw Failure(w[1] + " did not answer");
        }
        // Setting the selection by message raises no notification; the user's click would.
        PostMessageA(GetParent(control), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(control), list ? LBN_SELCHANGE : CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
    } else if (op == "key") {
        expectCount(w, 2, 3, "key KEY [CONTROL]");
        const WORD code = keyCode(w[1]);
        HWND target = nullptr;
        if (w.size() == 3) {
            target = findControl(w[2]);
        } else {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            // The focus may still sit in a box that is going away: only a control of the
            // current window takes the key, else the window itself.
            HWND window = requireWindow();
            if (GetGUIThreadInfo(process_.dwThreadId, &info) && info.hwndFocus &&
                IsChild(window, info.hwndFocus)) {
                target = info.hwndFocus;
            } else {
                target = window;
            }
        }
        settle(target);
        postKey(target, code);
    } else if (op == "type-key") {
        // A key pressed on the keyboard, as the system's input: it goes to whichever window
        // of the program (brought to the foreground) has the focus when the program takes it.
        expectCount(w, 2, 2, "type-key KEY");
        SetForegroundWindow(window_ && IsWindow(window_) ? window_ : requireBox());
        const WORD code = keyCode(w[1]);
        INPUT keys[2]{};
        for (INPUT& key : keys) {
            key.type = INPUT_KEYBOARD;
            key.ki.wVk = code;
            key.ki.wScan = static_cast<WORD>(MapVirtualKeyA(code, 0));
        }
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        if (SendInput(2, keys, sizeof(INPUT)) != 2) {
            throw Failure("the key " + w[1] + " could not be typed");
        }
    } else if (op == "set-aside" || op == "take-back") {
        // One program waits aside, running, while another one is started and worked; the
        // steps then apply to the new one until take-back.
        expectCount(w, 1, 1, "set-aside | take-back");
        if (op == "set-aside") {
            requireProcess();
            aside_.push_back(Program{process_, running_, window_, box_, seen_});
            process_ = PROCESS_INFORMATION{};
            running_ = false;
            window_ = box_ = nullptr;
            seen_.clear();
        } else {
            if (aside_.empty() || process_.hProcess) {
                throw Failure("take-back needs a program set aside and none running");
            }
            swapProgram(aside_.back());
            aside_.pop_back();
        }
    } else if (op == "kill") {
        // Ends the program at once, as the task list would (expect-exit 99 then).
        expectCount(w, 1, 1, "kill");
        requireProcess();
        TerminateProcess(process_.hProcess, 99);
    } else if (op == "flip-byte" || op == "cut-file") {
        // flip-byte FILE OFFSET inverts one byte; OFFSET may count from the first image slot
        // ("image+N"). cut-file FILE SIZE keeps the first SIZE bytes (a negative SIZE: all but
        // that many).
        expectCount(w, 3, 3, "flip-byte FILE OFFSET | cut-file FILE SIZE");
        const std::string path = windowsPath(w[1]);
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        long long at = 0;
        if (w[2].rfind("image+", 0) == 0) {
            const long long slots = package::findFirstSlot(
                reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            if (slots < 0) {
                throw Failure(w[1] + " has no image slots");
            }
            at = slots + std::atoll(w[2].c_str() + 6);
        } else {
            at = std::atoll(w[2].c_str());
        }
        if (op == "cut-file") {
            at = at < 0 ? static_cast<long long>(bytes.size()) + at : at;
        }
        if (at < 0 || at >= static_cast<long long>(bytes.size())) {
            throw Failure(w[2] + " is outside " + w[1]);
        }
        if (op == "flip-byte") {
            bytes[static_cast<size_t>(at)] = static_cast<char>(~bytes[static_cast<size_t>(at)]);
        } else {
            bytes.resize(static_cast<size_t>(at));
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            throw Failure("cannot write " + w[1]);
        }
    } else if (op == "expect-redrawn") {
        // The current window's client area is covered by a window of one colour and uncovered
        // again; it must then show on the screen what it showed before, painted anew by the
        // program (also while it waits for a drive).
        expectCount(w, 1, 1, "expect-redrawn");
        const RECT area = clientOnScreen(requireWindow());
        // What the window shows once it has done painting: the same twice, a moment apart.
        std::vector<uint32_t> before = grabScreen(area);
        waitFor("the window painted", [&](std::string&) {
            Sleep(250);
            std::vector<uint32_t> again = grabScreen(area);
            std::swap(before, again);
            return before == again;
        });
        HWND cover = coverScreen(area, RGB(255, 0, 255));
        const std::vector<uint32_t> magenta(before.size(), 0xFF00FF);
        waitFor("the cover on the screen", [&](std::string&) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&message);
            }
            return grabScreen(area) == magenta;
        });
        DestroyWindow(cover);
        waitFor("the window painted again", [&](std::string& last) {
            const std::vector<uint32_t> now = grabScreen(area);
            const auto left = std::count(now.begin(), now.end(), 0xFF00FFu);
            last = std::to_string(left) + " pixels of the cover left";
            return now == before;
        });
    } else if (op == "close") {
        expectCount(w, 1, 1, "close");
        PostMessageA(requireWindow(), WM_CLOSE, 0, 0);
    } else if (op == "expect-box") {
        expectCount(w, 3, 1000, "expect-box CAPTION TEXT [BUTTON...]");
        requireProcess();
        const Words buttons(w.begin() + 3, w.end());
        waitFor("a box " + joinQuoted(Words(w.begin() + 1, w.end())), [&](std::string& last) {
            for (const Seen& s : seen_) {
                if (!s.open || !s.answer.empty()) {
                    continue;
                }
                const Box box = readBox(s.window);
                last = "box " + quoted(box.caption) + " " + quoted(box.text) + " " +
                       joinQuoted(box.buttons);
                if (box.caption == w[1] && box.text == w[2] &&
                    (buttons.empty() || box.buttons == buttons)) {
                    box_ = s.window;
                    return true;
                }
            }
            return false;
        });
    } else if (op == "answer" || op == "answer-key") {
        expectCount(w, 2, 2, "answer BUTTON-TEXT | answer-key KEY");
        HWND window = requireBox();
        Seen* seen = nullptr;
        for (Seen& s : seen_) {
            if (s.open && s.window == window) {
                seen = &s;
            }
        }
        if (op == "answer") {
            const Box box = readBox(window);
            const auto found = std::find(box.buttons.begin(), box.buttons.end(), w[1]);
            if (found == box.buttons.end()) {
                throw Failure("the box has no button " + quoted(w[1]) + " (it has " +
                              joinQuoted(box.buttons) + ")");
            }
            HWND button = box.buttonWindows[static_cast<size_t>(found - box.buttons.begin())];
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
        } else {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            DWORD thread = GetWindowThreadProcessId(window, nullptr);
            HWND target =
                GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : window;
            postKey(target, keyCode(w[1]));
        }
        if (seen) {
            seen->answer = w[1];
        }
        record(std::string(op == "answer" ? "answer " : "answer-key ") +
               (op == "answer" ? quoted(w[1]) : w[1]));
        waitFor("the box to close",
                [&](std::string&) { return !IsWindow(window) || !IsWindowVisible(window); });
        box_ = nullptr;
    } else if (op == "expect-no-box") {
        expectCount(w, 1, 2, "expect-no-box [MILLISECONDS]");
        const DWORD span = w.size() == 2 ? static_cast<DWORD>(toInt(w[1])) : 500;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < span) {
            poll();
            for (const Seen& s : seen_) {
                if (s.open && s.answer.empty()) {
                    throw Failure("unexpected box " + quoted(s.box.caption) + " " +
                                  quoted(s.box.text));
                }
            }
            Sleep(20);
        }
    } else if (op == "expect-exit") {
        expectCount(w, 2, 2, "expect-exit CODE");
        requireProcess();
        DWORD code = 0;
        waitFor("the program to end", [&](std::string&) {
            return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
        });
        GetExitCodeProcess(process_.hProcess, &code);
        poll();
        if (static_cast<int>(code) != toInt(w[1])) {
            throw Failure("exit code " + std::to_string(code) + ", expected " + w[1]);
        }
        releaseProgram();
    } else if (op == "expect-text-fits" || op == "expect-box-text-fits") {
        const bool box = op == "expect-box-text-fits";
        expectCount(w, 1, box ? 1 : 1000, "expect-text-fits [CONTROL...] | expect-box-text-fits");
        requireProcess();
        std::vector<TextFinding> findings;
        HWND window = nullptr;
        waitFor(box ? "the box's texts to fit" : "the texts to fit", [&](std::string& last) {
            window = box ? requireBox() : requireWindow();
            std::vector<HWND> controls;
            for (size_t i = 1; i < w.size(); ++i) {
                controls.push_back(findControl(w[i]));
            }
            findings = measureTexts(process_, window, controls);
            last.clear();
            for (const TextFinding& f : findings) {
                if (f.status != "fits") {
                    last += "\n    " + describeFinding(f, window);
                }
            }
            return last.empty();
        });
        std::printf("\n");
        for (const TextFinding& f : findings) {
            std::printf("      %s\n", describeFinding(f, window).c_str());
        }
    } else if (op == "screenshot") {
        expectCount(w, 2, 2, "screenshot NAME");
        screenshot(w[1]);
    } else if (op == "expect-transcript") {
        expectCount(w, 2, 2, "expect-transcript FILE");
        std::ifstream in(windowsPath(w[1]), std::ios::binary);
        if (!in) {
            throw Failure("cannot read " + w[1]);
        }
        std::vector<std::string> expected;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty() && line[0] != '#') {
                expected.push_back(line);
            }
        }
        if (expected != transcript_) {
            std::string diff = "transcript differs; recorded:\n";
            for (const std::string& l : transcript_) {
                diff += "    " + l + "\n";
            }
            diff += "  expected:\n";
            for (const std::string& l : expected) {
                diff += "    " + l + "\n";
            }
            throw Failure(diff);
        }
    } else {
        throw Failure("unknown step " + quoted(op));
    }
}

} // namespace driver
