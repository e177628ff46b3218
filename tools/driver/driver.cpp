// The end-to-end test driver: starts a Windows program, watches its windows and message boxes
// from outside, acts on them like a user and checks what they show, following a script of one
// step per line (see tools/README.md). Exit code 0 when every step passed.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "platform/win32/window_classes.h"

namespace {

using Words = std::vector<std::string>;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// Texts

std::string narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        switch (c) {
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        default:
            result += c;
        }
    }
    return result + "\"";
}

std::string joinQuoted(const Words& words) {
    std::string result;
    for (const std::string& w : words) {
        result += (result.empty() ? "" : " ") + quoted(w);
    }
    return result;
}

// Unix paths as the Wine drive Z: shows them.
std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

// ---------------------------------------------------------------------------------------------
// Reading other processes' windows

constexpr UINT ReadTimeout = 1000;

std::string windowText(HWND window) {
    wchar_t text[4096];
    const int got = GetWindowTextW(window, text, 4096);
    return narrow(std::wstring(text, static_cast<size_t>(got > 0 ? got : 0)));
}

std::string className(HWND window) {
    char name[256];
    const int got = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<size_t>(got > 0 ? got : 0));
}

bool sendTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR value = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, ReadTimeout,
                             &value)) {
        return false;
    }
    result = static_cast<LRESULT>(value);
    return true;
}

bool isListBox(HWND control) {
    const std::string cls = className(control);
    return lstrcmpiA(cls.c_str(), "ListBox") == 0 || lstrcmpiA(cls.c_str(), "ComboLBox") == 0;
}

// Items of a list or combo box; false while the owner is too busy to answer. The UTF-16
// messages: under Wine the ANSI ones carry only the first character across processes.
bool readItems(HWND control, Words& items) {
    const bool list = isListBox(control);
    const UINT countMessage = list ? LB_GETCOUNT : CB_GETCOUNT;
    const UINT lengthMessage = list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    const UINT textMessage = list ? LB_GETTEXT : CB_GETLBTEXT;
    LRESULT count = 0;
    if (!sendTimeout(control, countMessage, 0, 0, count) || count < 0) {
        return false;
    }
    items.clear();
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = 0;
        if (!sendTimeout(control, lengthMessage, static_cast<WPARAM>(i), 0, length) || length < 0) {
            return false;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        LRESULT got = 0;
        if (!sendTimeout(control, textMessage, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&text[0]), got) ||
            got < 0) {
            return false;
        }
        text.resize(static_cast<size_t>(got));
        items.push_back(narrow(text));
    }
    return true;
}

bool readIndex(HWND control, int& index) {
    LRESULT value = 0;
    if (!sendTimeout(control, isListBox(control) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0, value)) {
        return false;
    }
    index = static_cast<int>(value);
    return true;
}

// Direct children of `parent`, in the order the system keeps them.
std::vector<HWND> children(HWND parent) {
    std::vector<HWND> result;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        result.push_back(child);
    }
    return result;
}

struct Box {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    Words buttons; // left to right
    std::vector<HWND> buttonWindows;
};

bool isBoxWindow(HWND window) {
    const std::string cls = className(window);
    return cls == platform::win32::MessageBoxClass || cls == "#32770";
}

Box readBox(HWND window) {
    Box box;
    box.window = window;
    box.caption = windowText(window);
    std::vector<std::pair<LONG, HWND>> buttons;
    for (HWND child : children(window)) {
        const std::string cls = className(child);
        if (lstrcmpiA(cls.c_str(), "Static") == 0 && box.text.empty()) {
            box.text = windowText(child);
        } else if (lstrcmpiA(cls.c_str(), "Button") == 0 && IsWindowVisible(child)) {
            RECT r;
            GetWindowRect(child, &r);
            buttons.emplace_back(r.left, child);
        }
    }
    std::stable_sort(buttons.begin(), buttons.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& b : buttons) {
        box.buttons.push_back(windowText(b.second));
        box.buttonWindows.push_back(b.second);
    }
    return box;
}

// ---------------------------------------------------------------------------------------------
// The driver

struct Key {
    const char* name;
    WORD code;
};

constexpr Key keys[] = {{"Esc", VK_ESCAPE},  {"Enter", VK_RETURN}, {"Tab", VK_TAB},
                        {"Space", VK_SPACE}, {"Up", VK_UP},        {"Down", VK_DOWN},
                        {"Left", VK_LEFT},   {"Right", VK_RIGHT}};

class Driver {
public:
    std::map<std::string, std::string> variables;
    std::string transcriptPath;

    ~Driver() { stopProgram(); }

    int runScript(const std::string& path);

private:
    // Program
    PROCESS_INFORMATION process_{};
    bool running_ = false;
    DWORD timeoutMs_ = 10000;
    HWND window_ = nullptr;
    HWND box_ = nullptr;
    std::string scriptName_;

    // Every box seen, in order, and what answered it.
    struct Seen {
        HWND window;
        Box box;
        std::string answer;
        bool open;
    };
    std::vector<Seen> seen_;
    std::vector<std::string> transcript_;

    void step(const Words& words);
    void stopProgram();

    template <typename Check> void waitFor(const std::string& what, Check check);
    void poll();
    void record(const std::string& line);
    std::vector<HWND> topWindows();
    HWND findControl(const std::string& selector);
    HWND requireWindow();
    HWND requireBox();
    DWORD requireProcess();
    void postKey(HWND target, WORD code);
    void screenshot(const std::string& name);
};

std::string expand(const std::string& text, const std::map<std::string, std::string>& vars) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
            const size_t end = text.find('}', i + 2);
            if (end == std::string::npos) {
                throw Failure("unterminated ${ in " + quoted(text));
            }
            const std::string name = text.substr(i + 2, end - i - 2);
            const auto found = vars.find(name);
            if (found != vars.end()) {
                result += found->second;
            } else if (const char* env = std::getenv(name.c_str())) {
                result += env;
            } else {
                throw Failure("undefined variable " + name);
            }
            i = end;
        } else {
            result += text[i];
        }
    }
    return result;
}

// Words separated by blanks; double quotes group, with \" \\ \n \t inside; # starts a comment.
Words splitLine(const std::string& line, const std::map<std::string, std::string>& vars) {
    Words words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        if (i >= line.size() || line[i] == '#') {
            break;
        }
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    c = line[i++];
                    c = c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
                    word += c;
                    continue;
                }
                word += c;
            }
            if (!closed) {
                throw Failure("unterminated quote");
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                word += line[i++];
            }
        }
        words.push_back(expand(word, vars));
    }
    return words;
}

void Driver::record(const std::string& line) {
    transcript_.push_back(line);
    if (transcriptPath.empty()) {
        return;
    }
    std::ofstream out(transcriptPath, std::ios::app | std::ios::binary);
    out << line << "\n";
}

std::vector<HWND> Driver::topWindows() {
    std::vector<HWND> result;
    if (!running_ && process_.dwProcessId == 0) {
        return result;
    }
    struct Context {
        DWORD pid;
        std::vector<HWND>* out;
    } context{process_.dwProcessId, &result};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* c = reinterpret_cast<Context*>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == c->pid && IsWindowVisible(window)) {
                c->out->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
    return result;
}

// Notes new boxes and boxes that went away; runs at every poll of every wait.
void Driver::poll() {
    const std::vector<HWND> windows = topWindows();
    for (Seen& s : seen_) {
        if (s.open && (std::find(windows.begin(), windows.end(), s.window) == windows.end() ||
                       !IsWindow(s.window))) {
            s.open = false;
            if (s.answer.empty()) {
                record("  closed without an answer from the driver");
            }
        }
    }
    for (HWND window : windows) {
        if (!isBoxWindow(window)) {
            continue;
        }
        bool known = false;
        for (const Seen& s : seen_) {
            known = known || (s.open && s.window == window);
        }
        if (known) {
            continue;
        }
        Box box = readBox(window);
        if (box.buttons.empty()) {
            continue; // not built completely yet
        }
        seen_.push_back(Seen{window, box, "", true});
        record("box " + quoted(box.caption) + " " + quoted(box.text) + " " +
               joinQuoted(box.buttons));
    }
}

template <typename Check> void Driver::waitFor(const std::string& what, Check check) {
    const DWORD start = GetTickCount();
    std::string last;
    for (;;) {
        poll();
        if (check(last)) {
            return;
        }
        if (GetTickCount() - start > timeoutMs_) {
            throw Failure("timed out after " + std::to_string(timeoutMs_) + " ms waiting for " +
                          what + (last.empty() ? "" : " (last seen: " + last + ")"));
        }
        Sleep(50);
    }
}

DWORD Driver::requireProcess() {
    if (process_.dwProcessId == 0) {
        throw Failure("no program started");
    }
    return process_.dwProcessId;
}

HWND Driver::requireWindow() {
    if (!window_ || !IsWindow(window_)) {
        throw Failure("no current window (use wait-window)");
    }
    return window_;
}

HWND Driver::requireBox() {
    if (box_ && IsWindow(box_) && IsWindowVisible(box_)) {
        return box_;
    }
    for (const Seen& s : seen_) {
        if (s.open && IsWindow(s.window)) {
            return box_ = s.window;
        }
    }
    throw Failure("no message box open");
}

// A control of the current window: a name of the main window's table, #ID, or Class:N (the
// N-th child of that class, from 1).
HWND Driver::findControl(const std::string& selector) {
    HWND window = requireWindow();
    int id = -1;
    for (const auto& named : app::MainFormControls) {
        if (selector == named.name) {
            id = named.id;
        }
    }
    if (id < 0 && !selector.empty() && selector[0] == '#') {
        id = std::atoi(selector.c_str() + 1);
    }
    if (id >= 0) {
        HWND control = GetDlgItem(window, id);
        if (!control) {
            throw Failure("no control " + selector);
        }
        return control;
    }
    const size_t colon = selector.rfind(':');
    if (colon != std::string::npos) {
        const std::string cls = selector.substr(0, colon);
        int n = std::atoi(selector.c_str() + colon + 1);
        for (HWND child : children(window)) {
            if (lstrcmpiA(className(child).c_str(), cls.c_str()) == 0 && --n == 0) {
                return child;
            }
        }
    }
    throw Failure("no control " + selector);
}

void Driver::postKey(HWND target, WORD code) {
    const UINT scan = MapVirtualKeyA(code, 0);
    PostMessageA(target, WM_KEYDOWN, code, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, code, 1 | (scan << 16) | 0xC0000000u);
}

void Driver::screenshot(const std::string& name) {
    const char* dir = std::getenv("KXD_SHOT_DIR");
    if (!dir || !*dir) {
        std::printf("  (no KXD_SHOT_DIR: screenshot %s skipped)\n", name.c_str());
        return;
    }
    const std::string base = windowsPath(dir) + "\\" + name;
    DeleteFileA((base + ".png").c_str());
    { std::ofstream request(base + ".request"); }
    waitFor("screenshot " + name, [&](std::string&) {
        return GetFileAttributesA((base + ".png").c_str()) != 0xFFFFFFFF;
    });
}

void Driver::stopProgram() {
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = PROCESS_INFORMATION{};
    }
    running_ = false;
}

void expectCount(const Words& w, size_t least, size_t most, const char* usage) {
    if (w.size() < least || w.size() > most) {
        throw Failure(std::string("usage: ") + usage);
    }
}

int toInt(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end) {
        throw Failure("not a number: " + quoted(text));
    }
    return static_cast<int>(value);
}

WORD keyCode(const std::string& name) {
    for (const Key& k : keys) {
        if (lstrcmpiA(name.c_str(), k.name) == 0) {
            return k.code;
        }
    }
    if (name.size() == 1) {
        return static_cast<WORD>(VkKeyScanA(name[0]) & 0xFF);
    }
    throw Failure("unknown key " + name);
}

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
        expectCount(w, 3, 3, "copy FROM TO");
        if (!CopyFileA(windowsPath(w[1]).c_str(), windowsPath(w[2]).c_str(), FALSE)) {
            throw Failure("cannot copy " + w[1] + " to " + w[2]);
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
            command += " " + w[i];
        }
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            cwd.empty() ? nullptr : cwd.c_str(), &startup, &process_)) {
            throw Failure("cannot start " + command + " (error " + std::to_string(GetLastError()) +
                          ")");
        }
        running_ = true;
        window_ = nullptr;
        box_ = nullptr;
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
        postKey(target, code);
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
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = PROCESS_INFORMATION{};
        running_ = false;
        window_ = nullptr;
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

int Driver::runScript(const std::string& path) {
    std::ifstream in(windowsPath(path), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "driver: cannot read %s\n", path.c_str());
        return 2;
    }
    if (!transcriptPath.empty()) {
        transcriptPath = windowsPath(transcriptPath);
        std::ofstream truncate(transcriptPath, std::ios::trunc);
    }
    std::string line;
    int number = 0;
    const DWORD scriptStart = GetTickCount();
    while (std::getline(in, line)) {
        ++number;
        Words words;
        try {
            words = splitLine(line, variables);
            if (words.empty()) {
                continue;
            }
            const DWORD start = GetTickCount();
            std::printf("%4d: %s", number, words[0].c_str());
            for (size_t i = 1; i < words.size(); ++i) {
                std::printf(" %s", quoted(words[i]).c_str());
            }
            std::fflush(stdout);
            step(words);
            std::printf("  [%lu ms]\n", static_cast<unsigned long>(GetTickCount() - start));
            std::fflush(stdout);
        } catch (const Failure& failure) {
            std::printf("\n");
            std::fprintf(stderr, "driver: %s:%d: %s\n", path.c_str(), number, failure.what());
            std::fprintf(stderr, "driver: windows of the program:\n");
            for (HWND window : topWindows()) {
                RECT r;
                GetWindowRect(window, &r);
                std::fprintf(stderr, "  %s %s %ldx%ld\n", className(window).c_str(),
                             quoted(windowText(window)).c_str(), r.right - r.left,
                             r.bottom - r.top);
                for (HWND child : children(window)) {
                    std::fprintf(stderr, "    #%d %s %s%s\n", GetDlgCtrlID(child),
                                 className(child).c_str(), quoted(windowText(child)).c_str(),
                                 IsWindowVisible(child) ? "" : " (hidden)");
                }
            }
            if (std::getenv("KXD_SHOT_DIR")) {
                try {
                    screenshot("failure");
                } catch (const Failure&) {
                }
            }
            std::fflush(stderr);
            stopProgram();
            return 1;
        }
    }
    std::printf("driver: %s passed in %lu ms\n", path.c_str(),
                static_cast<unsigned long>(GetTickCount() - scriptStart));
    if (process_.hProcess) {
        std::fprintf(stderr, "driver: the program still runs at the end of the script; ended\n");
        stopProgram();
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Driver driver;
    std::string script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-D" && i + 1 < argc) {
            const std::string definition = argv[++i];
            const size_t eq = definition.find('=');
            driver.variables[definition.substr(0, eq)] =
                eq == std::string::npos ? "" : definition.substr(eq + 1);
        } else if (arg == "--transcript" && i + 1 < argc) {
            driver.transcriptPath = argv[++i];
        } else if (script.empty() && arg[0] != '-') {
            script = arg;
        } else {
            script.clear();
            break;
        }
    }
    if (script.empty()) {
        std::fprintf(stderr, "usage: driver [-D NAME=VALUE]... [--transcript FILE] SCRIPT\n"
                             "  steps: see tools/README.md\n");
        return 2;
    }
    return driver.runScript(script);
}
