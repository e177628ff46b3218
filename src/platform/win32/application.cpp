#include "platform/win32/application.h"

#include <windows.h>

#include <commctrl.h>

#include <stdexcept>

#include "platform/win32/control_ids.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"

namespace platform::win32 {
namespace {

// The layout was made at 120 pixels per inch.
constexpr int DesignDpi = 120;

enum class Kind { Label, ComboBox, FileList, Frame, ProgressBar, Button };

struct Placement {
    int id;
    Kind kind;
    int left, top, width, height;
    const char* text;
    const char* tooltip;
};

// In creation order: a later control lies above an earlier one where they overlap.
constexpr Placement layout[] = {
    {IdSelectLabel, Kind::Label, 0, 0, 340, 20,
     "Select a drive you want to update new F.W:", nullptr},
    {IdSelectLabel2, Kind::Label, 248, 0, 4, 20, "", nullptr},
    {IdComboBox1, Kind::ComboBox, 0, 24, 481, 28, "", nullptr},
    {IdFileListBox1, Kind::FileList, 0, 24, 241, 41, "", "Select ZOL-K BIN file."},
    {IdGroupBox2, Kind::Frame, 0, 64, 481, 57, "", nullptr},
    {IdProgressBar, Kind::ProgressBar, 8, 88, 385, 23, "", nullptr},
    {IdFlashButton, Kind::Button, 400, 88, 73, 25, "FLASH", nullptr},
    {IdFileListBox2, Kind::FileList, 248, 24, 233, 41, "", "Select NonZOL-K BIN file."},
};

// Keyboard focus moves in this order (controls that take no focus are passed over).
constexpr int tabOrder[] = {IdComboBox1,   IdGroupBox2,    IdFlashButton,
                            IdProgressBar, IdFileListBox1, IdFileListBox2};

constexpr int ComboItemHeight = 20;
constexpr int ComboVisibleItems = 8;
constexpr int ListItemHeight = 20;
constexpr int FontHeight = 20;
constexpr int Big5Charset = 136;
constexpr int WindowLeft = 66;
constexpr int WindowTop = 68;

constexpr DWORD MainStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD MainExStyle = 0;

class Win32MainWindow : public MainWindow {
public:
    HWND hwnd = nullptr;
    void setTitle(const std::string& title) override { SetWindowTextA(hwnd, title.c_str()); }
    std::string title() const override {
        char text[512];
        const int got = GetWindowTextA(hwnd, text, sizeof text);
        return std::string(text, static_cast<size_t>(got > 0 ? got : 0));
    }
};

void showErrorBox(const std::string& title, const std::string& message) {
    MessageBoxA(nullptr, withPeriod(message).c_str(), title.c_str(),
                MB_ICONSTOP | MB_OK | MB_TASKMODAL);
}

} // namespace

struct Application::Impl {
    std::string title;
    Win32System system;
    Win32Dialogs dialogs{""};
    Win32FileSystem files;
    HWND appWindow = nullptr;
    HWND mainWindow = nullptr;
    HWND tooltip = nullptr;
    HWND savedFocus = nullptr;
    HFONT font = nullptr;
    int dpi = DesignDpi;
    RECT comboRect{};

    Win32MainWindow window;
    Win32Label selectLabel, selectLabel2;
    Win32ComboBox comboBox1;
    Win32FileList fileListBox1, fileListBox2;
    Win32Frame groupBox2;
    Win32ProgressBar progressBar;
    Win32Button flashButton;
    std::unique_ptr<FormEvents> form;

    ~Impl() {
        if (mainWindow) {
            DestroyWindow(mainWindow);
        }
        form.reset();
        if (appWindow) {
            DestroyWindow(appWindow);
        }
        if (font) {
            DeleteObject(font);
        }
    }

    int scaled(int value) const { return MulDiv(value, dpi, DesignDpi); }

    NativeControl* control(int id) {
        switch (id) {
        case IdSelectLabel:
            return &selectLabel;
        case IdSelectLabel2:
            return &selectLabel2;
        case IdComboBox1:
            return &comboBox1;
        case IdFileListBox1:
            return &fileListBox1;
        case IdGroupBox2:
            return &groupBox2;
        case IdProgressBar:
            return &progressBar;
        case IdFlashButton:
            return &flashButton;
        case IdFileListBox2:
            return &fileListBox2;
        default:
            return nullptr;
        }
    }

    template <typename Handler> void guarded(Handler handler) {
        try {
            handler();
        } catch (const std::exception& error) {
            showErrorBox(title, error.what());
        } catch (...) {
            showErrorBox(title, "");
        }
    }

    void createWindows();
    void createControl(const Placement& placement);
    void fitClientArea();
    bool preTranslate(const MSG& message);
    // From the control that got the Tab key (the focus may be between activations).
    void moveFocus(HWND from, bool backwards);
    HWND firstFocusable();
    bool isOurs(HWND window) const {
        return window == mainWindow || (window && IsChild(mainWindow, window));
    }
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
};

namespace {

LRESULT CALLBACK mainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* impl = reinterpret_cast<Application::Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (impl && impl->mainWindow == hwnd) {
        return impl->handle(message, wParam, lParam);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK applicationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace

LRESULT Application::Impl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (!form) {
            break;
        }
        if (id == IdFlashButton && code == BN_CLICKED) {
            guarded([this] { form->FlashButtonClick(); });
        } else if (id == IdFileListBox1 && code == LBN_SELCHANGE) {
            guarded([this] { form->FileListBox1Click(); });
        } else if (id == IdFileListBox2 && code == LBN_SELCHANGE) {
            guarded([this] { form->FileListBox2Click(); });
        }
        return 0;
    }
    case WM_KXD_LAYOUT:
        fitClientArea();
        return 0;
    case WM_CLOSE:
        // Closing the window ends the loop; the window goes when the loop is over.
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        if (form) {
            guarded([this] { form->FormDestroy(); });
        }
        return 0;
    case WM_SETCURSOR:
        if (applyScreenCursor()) {
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (isOurs(focus) && focus != mainWindow) {
                savedFocus = focus;
            }
        } else {
            HWND target = savedFocus && IsWindowVisible(savedFocus) && IsWindowEnabled(savedFocus)
                              ? savedFocus
                              : firstFocusable();
            if (target) {
                SetFocus(target);
                return 0;
            }
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(mainWindow, message, wParam, lParam);
}

void Application::Impl::createWindows() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = mainProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = MainWindowClass;
    RegisterClassA(&wc);

    HDC screen = GetDC(nullptr);
    dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    font = CreateFontA(-scaled(FontHeight), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, Big5Charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "System");

    mainWindow = CreateWindowExA(MainExStyle, MainWindowClass, "", MainStyle, WindowLeft, WindowTop,
                                 scaled(489), scaled(153), appWindow, nullptr, instance, this);
    if (!mainWindow) {
        throw std::runtime_error("Cannot create the main window");
    }
    window.hwnd = mainWindow;
    SendMessageA(mainWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              mainWindow, nullptr, instance, nullptr);
    for (const Placement& placement : layout) {
        createControl(placement);
    }
    fitClientArea();
}

void Application::Impl::createControl(const Placement& p) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const char* cls = "STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    int height = scaled(p.height);
    switch (p.kind) {
    case Kind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case Kind::ComboBox:
        cls = "COMBOBOX";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        // The height given at creation is that of the dropped-down list as well.
        height = scaled(p.height) + ComboVisibleItems * scaled(ComboItemHeight) + 2;
        break;
    case Kind::FileList:
        cls = "LISTBOX";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case Kind::Frame:
        cls = "BUTTON";
        style |= BS_GROUPBOX;
        break;
    case Kind::ProgressBar:
        cls = PROGRESS_CLASSA;
        style |= PBS_SMOOTH;
        break;
    case Kind::Button:
        cls = "BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    }
    HWND hwnd = CreateWindowExA(
        exStyle, cls, p.text, style, scaled(p.left), scaled(p.top), scaled(p.width), height,
        mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), instance, nullptr);
    if (!hwnd) {
        throw std::runtime_error("Cannot create the window's controls");
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    control(p.id)->attach(hwnd, mainWindow);

    switch (p.kind) {
    case Kind::Label:
        static_cast<Win32Label*>(control(p.id))->setCaption(p.text);
        break;
    case Kind::ComboBox:
        SendMessageA(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), scaled(p.height) - 6);
        SendMessageA(hwnd, CB_SETITEMHEIGHT, 0, scaled(ComboItemHeight));
        comboRect =
            RECT{scaled(p.left), scaled(p.top), scaled(p.left + p.width), scaled(p.top + p.height)};
        break;
    case Kind::FileList: {
        SendMessageA(hwnd, LB_SETITEMHEIGHT, 0, scaled(ListItemHeight));
        char current[MAX_PATH];
        const DWORD length = GetCurrentDirectoryA(sizeof current, current);
        auto* list = static_cast<Win32FileList*>(control(p.id));
        list->setDirectory(length > 0 && length < sizeof current ? current : ".");
        break;
    }
    case Kind::ProgressBar:
        progressBar.start();
        break;
    default:
        break;
    }
    if (p.tooltip && tooltip) {
        TOOLINFOA tool{};
        // The structure as the common controls of Windows 95 and 98 know it.
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = mainWindow;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
        tool.lpszText = const_cast<char*>(p.tooltip);
        SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void Application::Impl::fitClientArea() {
    if (!mainWindow) {
        return;
    }
    int right = 0;
    int bottom = 0;
    for (const Placement& p : layout) {
        NativeControl* c = control(p.id);
        // Labels size themselves to their captions, and where the design font is missing
        // its stand-in is wider; the window keeps its layout width and clips them.
        if (p.kind == Kind::Label) {
            continue;
        }
        // The window itself is hidden until the loop starts: ask each control's own style.
        if (!c->handle() || !(GetWindowLongA(c->handle(), GWL_STYLE) & WS_VISIBLE)) {
            continue;
        }
        RECT r;
        if (p.kind == Kind::ComboBox) {
            r = comboRect; // its window also spans the list when dropped down
        } else {
            GetWindowRect(c->handle(), &r);
            MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&r), 2);
        }
        right = r.right > right ? r.right : right;
        bottom = r.bottom > bottom ? r.bottom : bottom;
    }
    if (right == 0 || bottom == 0) {
        return;
    }
    RECT frame{0, 0, right, bottom};
    AdjustWindowRectEx(&frame, MainStyle, FALSE, MainExStyle);
    SetWindowPos(mainWindow, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Application::Impl::firstFocusable() {
    for (int id : tabOrder) {
        HWND hwnd = control(id)->handle();
        if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
            (GetWindowLongA(hwnd, GWL_STYLE) & WS_TABSTOP)) {
            return hwnd;
        }
    }
    return nullptr;
}

void Application::Impl::moveFocus(HWND from, bool backwards) {
    HWND focus = from;
    // The combo box's edit field is a child of the combo box.
    while (focus && GetParent(focus) != mainWindow) {
        focus = GetParent(focus);
    }
    constexpr int count = static_cast<int>(sizeof tabOrder / sizeof tabOrder[0]);
    int at = -1;
    for (int i = 0; i < count; ++i) {
        if (control(tabOrder[i])->handle() == focus) {
            at = i;
        }
    }
    for (int step = 1; step <= count; ++step) {
        int i = at < 0 ? (backwards ? count - step : step - 1)
                       : (at + (backwards ? count - step : step)) % count;
        HWND hwnd = control(tabOrder[i])->handle();
        if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
            (GetWindowLongA(hwnd, GWL_STYLE) & WS_TABSTOP)) {
            SetFocus(hwnd);
            return;
        }
    }
}

bool Application::Impl::preTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN || !isOurs(message.hwnd)) {
        return false;
    }
    if (message.wParam == VK_ESCAPE) {
        if (SendMessageA(comboBox1.handle(), CB_GETDROPPEDSTATE, 0, 0)) {
            return false; // Esc closes the drop-down list first
        }
        // FlashButton is the window's cancel button.
        if (flashButton.visible() && flashButton.enabled()) {
            SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IdFlashButton, BN_CLICKED),
                         reinterpret_cast<LPARAM>(flashButton.handle()));
        }
        return true;
    }
    if (message.wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000)) {
        moveFocus(message.hwnd, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    return false;
}

Application::Application() : impl_(std::make_unique<Impl>()) {
    InitCommonControls();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = applicationProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.lpszClassName = ApplicationWindowClass;
    RegisterClassA(&wc);
    // A window of no size that carries the task bar button; the main window is owned by it.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    impl_->appWindow =
        CreateWindowExA(0, ApplicationWindowClass, "",
                        WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                        0, 0, nullptr, nullptr, instance, nullptr);
    if (impl_->appWindow) {
        ShowWindow(impl_->appWindow, SW_SHOWNORMAL);
    }
}

Application::~Application() = default;

void Application::setTitle(const std::string& title) {
    impl_->title = title;
    impl_->dialogs.setApplicationTitle(title);
    if (impl_->appWindow) {
        SetWindowTextA(impl_->appWindow, title.c_str());
    }
}

void Application::createForm(const FormFactory& factory) {
    Impl& impl = *impl_;
    impl.createWindows();
    const FormControls controls{impl.window,       impl.progressBar, impl.flashButton,
                                impl.groupBox2,    impl.comboBox1,   impl.fileListBox1,
                                impl.fileListBox2, impl.selectLabel, impl.selectLabel2};
    const Services services{impl.system, impl.dialogs, impl.files};
    impl.form = factory(controls, services);
    impl.form->FormCreate();
    impl.fitClientArea();
}

void Application::run() {
    Impl& impl = *impl_;
    if (impl.mainWindow) {
        ShowWindow(impl.mainWindow, SW_SHOWNORMAL);
        UpdateWindow(impl.mainWindow);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!impl.preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (impl.mainWindow) {
        HWND window = impl.mainWindow;
        DestroyWindow(window);
        impl.mainWindow = nullptr;
    }
}

void Application::showException(const std::string& message) {
    showErrorBox(impl_->title, message);
}

} // namespace platform::win32
