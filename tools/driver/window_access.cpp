#include "window_access.h"

#include <algorithm>

#include "platform/win32/window_classes.h"

namespace driver {
namespace {

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

struct Key {
    const char* name;
    WORD code;
};

constexpr Key keys[] = {{"Esc", VK_ESCAPE},  {"Enter", VK_RETURN}, {"Tab", VK_TAB},
                        {"Space", VK_SPACE}, {"Up", VK_UP},        {"Down", VK_DOWN},
                        {"Left", VK_LEFT},   {"Right", VK_RIGHT}};

constexpr UINT ReadTimeout = 1000;

} // namespace

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

// The UTF-16 messages: under Wine the ANSI ones carry only the first character across
// processes.
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

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> result;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        result.push_back(child);
    }
    return result;
}

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

} // namespace driver
