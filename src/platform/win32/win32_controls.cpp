#include "platform/win32/win32_controls.h"

#include <commctrl.h>

#include <algorithm>

namespace platform::win32 {

bool NativeControl::isVisible() const {
    return (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void NativeControl::show(bool visible) {
    if (visible == isVisible()) {
        return;
    }
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
    if (owner_) {
        SendMessageA(owner_, WM_KXD_LAYOUT, 0, 0);
    }
}

std::string NativeControl::text() const {
    const int length = GetWindowTextLengthA(hwnd_);
    std::string result(static_cast<size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(hwnd_, &result[0], length + 1);
    result.resize(static_cast<size_t>(got > 0 ? got : 0));
    return result;
}

void NativeControl::setText(const std::string& text) {
    SetWindowTextA(hwnd_, text.c_str());
}

void Win32Label::setCaption(const std::string& caption) {
    // Sized first, then given the text: the static draws its new text at once, and a label
    // that grew afterwards would repaint only its new part (Wine leaves the rest as drawn at
    // the old width, wrapped).
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd_, WM_GETFONT, 0, 0)));
    SIZE extent{0, 0};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    SetWindowPos(hwnd_, nullptr, 0, 0, extent.cx, metrics.tmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    setText(caption);
    if (owner_) {
        SendMessageA(owner_, WM_KXD_LAYOUT, 0, 0);
    }
}

void Win32Frame::setCaption(const std::string& caption) {
    setText(caption);
    // A group box draws no background, so the old caption must be erased by the window.
    RECT area;
    GetWindowRect(hwnd_, &area);
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&area), 2);
    InvalidateRect(GetParent(hwnd_), &area, TRUE);
}

void Win32Frame::repaint() {
    // The thread is busy while the caption changes: paint now, not when messages flow again.
    RECT area;
    GetWindowRect(hwnd_, &area);
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(GetParent(hwnd_), &area, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool Win32Button::enabled() const {
    return IsWindowEnabled(hwnd_) != FALSE;
}

void Win32Button::setEnabled(bool enabled) {
    EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

namespace {
// The 32-bit range messages came with common controls 4.70; 4.00 answers them with 0.
constexpr UINT ProgressSetRange32 = WM_USER + 6;
constexpr UINT ProgressGetRange = WM_USER + 7;
constexpr int32_t ProbeMax = 0x12345;
} // namespace

Win32ProgressBar::~Win32ProgressBar() = default;

void Win32ProgressBar::start() {
    SendMessageA(hwnd_, ProgressSetRange32, 0, ProbeMax);
    wide_ = SendMessageA(hwnd_, ProgressGetRange, FALSE, 0) == ProbeMax;
    model_.setRange(0, 100);
}

bool Win32ProgressBar::showRange32(int32_t min, int32_t max) {
    if (wide_) {
        SendMessageA(hwnd_, ProgressSetRange32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
    }
    return wide_;
}

void Win32ProgressBar::showRange16(uint16_t min, uint16_t max) {
    SendMessageA(hwnd_, PBM_SETRANGE, 0, MAKELPARAM(min, max));
}

void Win32ProgressBar::showPosition(int32_t position) {
    SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32ComboBox::addItem(const std::string& text) {
    SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32ComboBox::setItemIndex(int index) {
    SendMessageA(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32FileList::setMask(const std::string& mask) {
    mask_ = mask;
    refresh();
}

void Win32FileList::setDirectory(const std::string& directory) {
    directory_ = directory;
    refresh();
}

void Win32FileList::refresh() {
    SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : listFiles(directory_, mask_)) {
        SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

std::string Win32FileList::fileName() const {
    const int index = itemIndex();
    if (index < 0) {
        return {};
    }
    return joinPath(directory_, item(index));
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty() || directory.back() == '\\' || directory.back() == '/' ||
        directory.back() == ':') {
        return directory + name;
    }
    return directory + "\\" + name;
}

std::vector<std::string> listFiles(const std::string& directory, const std::string& mask) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at <= mask.size()) {
        size_t end = mask.find(';', at);
        if (end == std::string::npos) {
            end = mask.size();
        }
        const std::string pattern = mask.substr(at, end - at);
        at = end + 1;
        if (pattern.empty()) {
            continue;
        }
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(joinPath(directory, pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(found.cFileName);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // File names compare without regard to case, as the file system does.
    const auto less = [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    };
    const auto same = [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) == 0;
    };
    std::sort(names.begin(), names.end(), less);
    names.erase(std::unique(names.begin(), names.end(), same), names.end());
    return names;
}

} // namespace platform::win32
