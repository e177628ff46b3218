#include "platform/win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/win32/window_classes.h"

namespace platform::win32 {
namespace {

// Layouts are made at 120 pixels per inch.
constexpr int DesignDpi = 120;

constexpr int ComboItemHeight = 20;
constexpr int ComboVisibleItems = 8;
constexpr int ListItemHeight = 20;
constexpr int FontHeight = 20;
constexpr int Big5Charset = 136;

constexpr DWORD MainStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD MainExStyle = 0;

template <typename Native> std::unique_ptr<NativeControl> made(Control*& control) {
    auto native = std::make_unique<Native>();
    control = native.get();
    return native;
}

// The native control of a kind, and its interface.
std::unique_ptr<NativeControl> nativeControl(ControlKind kind, Control*& control) {
    switch (kind) {
    case ControlKind::Label:
        return made<Win32Label>(control);
    case ControlKind::ComboBox:
        return made<Win32ComboBox>(control);
    case ControlKind::FileList:
        return made<Win32FileList>(control);
    case ControlKind::Frame:
        return made<Win32Frame>(control);
    case ControlKind::ProgressBar:
        return made<Win32ProgressBar>(control);
    case ControlKind::Button:
        break;
    }
    return made<Win32Button>(control);
}

} // namespace

class FormWindow::Window : public MainWindow {
public:
    explicit Window(FormWindow& form) : form_(form) {}
    HWND hwnd = nullptr;
    void show() override {
        form_.fitClientArea();
        ShowWindow(hwnd, SW_SHOWNORMAL);
        UpdateWindow(hwnd);
    }
    void setTitle(const std::string& title) override { SetWindowTextA(hwnd, title.c_str()); }
    std::string title() const override {
        char text[512];
        const int got = GetWindowTextA(hwnd, text, sizeof text);
        return std::string(text, static_cast<size_t>(got > 0 ? got : 0));
    }

private:
    FormWindow& form_;
};

FormWindow::FormWindow() : window_(std::make_unique<Window>(*this)), dpi_(DesignDpi) {}

FormWindow::~FormWindow() {
    if (font_) {
        DeleteObject(font_);
    }
}

HWND FormWindow::handle() const {
    return window_->hwnd;
}

MainWindow& FormWindow::window() {
    return *window_;
}

int FormWindow::scaled(int value) const {
    return MulDiv(value, dpi_, DesignDpi);
}

void FormWindow::create(const FormLayout& layout, HWND owner, WNDPROC procedure,
                        void* creationData) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = MainWindowClass;
    RegisterClassA(&wc);

    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    font_ = CreateFontA(-scaled(FontHeight), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, Big5Charset,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, "System");

    HWND hwnd = CreateWindowExA(MainExStyle, MainWindowClass, "", MainStyle, layout.left,
                                layout.top, scaled(layout.width), scaled(layout.height), owner,
                                nullptr, instance, creationData);
    if (!hwnd) {
        throw std::runtime_error("Cannot create the main window");
    }
    window_->hwnd = hwnd;
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd,
                               nullptr, instance, nullptr);
    parts_.reserve(layout.count);
    for (std::size_t i = 0; i < layout.count; ++i) {
        createControl(layout.controls[i]);
    }
    fitClientArea();
}

void FormWindow::destroy() {
    if (window_->hwnd) {
        HWND hwnd = window_->hwnd;
        DestroyWindow(hwnd);
        window_->hwnd = nullptr;
    }
}

void FormWindow::createControl(const LayoutEntry& p) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND main = window_->hwnd;
    const char* cls = "STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    int height = scaled(p.height);
    switch (p.kind) {
    case ControlKind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case ControlKind::ComboBox:
        cls = "COMBOBOX";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        // The height given at creation is that of the dropped-down list as well.
        height = scaled(p.height) + ComboVisibleItems * scaled(ComboItemHeight) + 2;
        break;
    case ControlKind::FileList:
        cls = "LISTBOX";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case ControlKind::Frame:
        cls = "BUTTON";
        style |= BS_GROUPBOX;
        break;
    case ControlKind::ProgressBar:
        cls = PROGRESS_CLASSA;
        style |= PBS_SMOOTH;
        break;
    case ControlKind::Button:
        cls = "BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    }
    HWND hwnd = CreateWindowExA(
        exStyle, cls, p.text, style, scaled(p.left), scaled(p.top), scaled(p.width), height, main,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), instance, nullptr);
    if (!hwnd) {
        throw std::runtime_error("Cannot create the window's controls");
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Control* control = nullptr;
    std::unique_ptr<NativeControl> native = nativeControl(p.kind, control);
    native->attach(hwnd, main);
    const RECT designRect{scaled(p.left), scaled(p.top), scaled(p.left + p.width),
                          scaled(p.top + p.height)};
    parts_.push_back(Part{&p, std::move(native), control, designRect});

    switch (p.kind) {
    case ControlKind::Label:
        dynamic_cast<Label&>(*control).setCaption(p.text);
        break;
    case ControlKind::ComboBox:
        SendMessageA(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), scaled(p.height) - 6);
        SendMessageA(hwnd, CB_SETITEMHEIGHT, 0, scaled(ComboItemHeight));
        break;
    case ControlKind::FileList: {
        SendMessageA(hwnd, LB_SETITEMHEIGHT, 0, scaled(ListItemHeight));
        char current[MAX_PATH];
        const DWORD length = GetCurrentDirectoryA(sizeof current, current);
        dynamic_cast<FileList&>(*control).setDirectory(
            length > 0 && length < sizeof current ? current : ".");
        break;
    }
    case ControlKind::ProgressBar:
        dynamic_cast<Win32ProgressBar&>(*control).start();
        break;
    default:
        break;
    }
    if (p.tooltip && tooltip_) {
        TOOLINFOA tool{};
        // The structure as the common controls of Windows 95 and 98 know it.
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = main;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
        tool.lpszText = const_cast<char*>(p.tooltip);
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void FormWindow::fitClientArea() {
    HWND main = window_->hwnd;
    if (!main) {
        return;
    }
    int right = 0;
    int bottom = 0;
    for (const Part& p : parts_) {
        // Labels size themselves to their captions, and where the design font is missing
        // its stand-in is wider; the window keeps its layout width and clips them.
        if (p.entry->kind == ControlKind::Label) {
            continue;
        }
        // The window itself is hidden until the loop starts: ask each control's own style.
        HWND hwnd = p.native->handle();
        if (!hwnd || !(GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE)) {
            continue;
        }
        RECT r;
        if (p.entry->kind == ControlKind::ComboBox) {
            r = p.designRect; // its window also spans the list when dropped down
        } else {
            GetWindowRect(hwnd, &r);
            MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
        }
        right = r.right > right ? r.right : right;
        bottom = r.bottom > bottom ? r.bottom : bottom;
    }
    if (right == 0 || bottom == 0) {
        return;
    }
    RECT frame{0, 0, right, bottom};
    AdjustWindowRectEx(&frame, MainStyle, FALSE, MainExStyle);
    SetWindowPos(main, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool FormWindow::owns(HWND window) const {
    HWND main = window_->hwnd;
    return window == main || (window && IsChild(main, window));
}

const FormWindow::Part* FormWindow::part(int id) const {
    for (const Part& p : parts_) {
        if (p.entry->id == id) {
            return &p;
        }
    }
    return nullptr;
}

const LayoutEntry* FormWindow::entry(int id) const {
    const Part* p = part(id);
    return p ? p->entry : nullptr;
}

Control& FormWindow::control(int id) {
    const Part* p = part(id);
    if (!p) {
        throw std::out_of_range("No control " + std::to_string(id) + " in the window");
    }
    return *p->control;
}

std::vector<HWND> FormWindow::tabOrder() const {
    std::vector<const Part*> ordered;
    for (const Part& p : parts_) {
        if (p.entry->tabOrder >= 0) {
            ordered.push_back(&p);
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const Part* a, const Part* b) {
        return a->entry->tabOrder < b->entry->tabOrder;
    });
    std::vector<HWND> handles;
    for (const Part* p : ordered) {
        handles.push_back(p->native->handle());
    }
    return handles;
}

bool FormWindow::listDroppedDown() const {
    for (const Part& p : parts_) {
        if (p.entry->kind == ControlKind::ComboBox &&
            SendMessageA(p.native->handle(), CB_GETDROPPEDSTATE, 0, 0)) {
            return true;
        }
    }
    return false;
}

void FormWindow::pressCancelButton() {
    for (const Part& p : parts_) {
        if (!p.entry->cancel) {
            continue;
        }
        const auto& button = dynamic_cast<const Button&>(*p.control);
        if (button.visible() && button.enabled()) {
            SendMessageA(window_->hwnd, WM_COMMAND, MAKEWPARAM(p.entry->id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(p.native->handle()));
        }
    }
}

} // namespace platform::win32
