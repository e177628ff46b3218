#include "platform/win32/application.h"

#include <windows.h>

#include <commctrl.h>

#include "platform/win32/error_box.h"
#include "platform/win32/focus.h"
#include "platform/win32/form_window.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/window_classes.h"

namespace platform::win32 {

struct Application::Impl {
    Win32System system;
    Win32Dialogs dialogs{""};
    Win32FileSystem files;
    HWND appWindow = nullptr;
    FormWindow window;
    FocusRing focus;
    std::unique_ptr<FormEvents> form;
    // A click handler runs (the boxes it opens dispatch further messages), and a close asked for
    // while it ran.
    bool clickRunning = false;
    bool closeAsked = false;
    // When the last click handler returned (tick count), once one has.
    bool clickEnded = false;
    DWORD clickEndedAt = 0;

    ~Impl() {
        window.destroy();
        form.reset();
        if (appWindow) {
            DestroyWindow(appWindow);
        }
    }

    template <typename Handler> void guarded(Handler handler) {
        try {
            handler();
        } catch (...) {
            showCurrentException();
        }
    }

    // A click goes to the form, one at a time: one that arrives while a flash or a build runs
    // (sent, or posted and taken by the loop of a box the work opened) is dropped, never
    // queued; so is input and every click that reached the queue while the work held the
    // thread (staleAfterClick). A close asked for while it runs (the user closing the window
    // during a flash or a build) is carried out once it has returned, so that the user sees how
    // the work ended first: the status line, and the question or the notice it ends with.
    void click(int id) {
        if (clickRunning) {
            return;
        }
        clickRunning = true;
        guarded([this, id] { form->ControlClick(id); });
        clickRunning = false;
        clickEnded = true;
        clickEndedAt = GetTickCount();
        if (closeAsked) {
            closeAsked = false;
            PostQuitMessage(0);
        }
    }
    // The main window or the task bar button asked to close: the loop ends, now or after the
    // click handler.
    void close() {
        if (clickRunning) {
            closeAsked = true;
        } else {
            PostQuitMessage(0);
        }
    }

    bool preTranslate(const MSG& message);
    // Keyboard or mouse input, or a click posted by another program, that reached the queue
    // before the last click handler returned: the user (or a program) acted while a flash or a
    // build held the thread, and that starts nothing once it is over. Messages carry the time
    // they were queued.
    bool staleAfterClick(const MSG& message) const {
        const UINT m = message.message;
        const bool input = (m >= WM_KEYFIRST && m <= WM_KEYLAST) ||
                           (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
                           (m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK);
        const bool click = m == WM_COMMAND || m == BM_CLICK;
        return clickEnded && (input || click) && static_cast<LONG>(message.time - clickEndedAt) < 0;
    }
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
};

namespace {

// The application's state, which both of its windows are created with and keep from
// WM_NCCREATE on.
Application::Impl* applicationOf(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Application::Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT mainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Application::Impl* impl = applicationOf(hwnd, message, lParam);
    if (impl && impl->window.handle() == hwnd) {
        return impl->handle(message, wParam, lParam);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT applicationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Application::Impl* impl = applicationOf(hwnd, message, lParam);
    if (message == WM_CLOSE) {
        if (impl) {
            impl->close();
        } else {
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The notifications that are a click for the program: a button pressed, a file list's
// selection changed.
bool isClick(ControlKind kind, int code) {
    return (kind == ControlKind::Button && code == BN_CLICKED) ||
           (kind == ControlKind::FileList && code == LBN_SELCHANGE);
}

} // namespace

LRESULT Application::Impl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        if (!form) {
            break;
        }
        const int id = LOWORD(wParam);
        const LayoutEntry* entry = window.entry(id);
        if (entry && isClick(entry->kind, HIWORD(wParam))) {
            click(id);
        }
        return 0;
    }
    case WM_KXD_LAYOUT:
        window.fitClientArea();
        return 0;
    case WM_CLOSE:
        // Closing the window ends the loop; the window goes when the loop is over.
        close();
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
        if (focus.activated(wParam)) {
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window.handle(), message, wParam, lParam);
}

bool Application::Impl::preTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN || !window.owns(message.hwnd)) {
        return false;
    }
    if (message.wParam == VK_ESCAPE) {
        if (window.listDroppedDown()) {
            return false; // Esc closes the drop-down list first
        }
        window.pressCancelButton();
        return true;
    }
    if (message.wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000)) {
        focus.move(message.hwnd, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return true;
    }
    return false;
}

Application::Application() : impl_(std::make_unique<Impl>()) {
    InitCommonControls();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = windowProcedure<applicationProc>;
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
                        0, 0, nullptr, nullptr, instance, impl_.get());
    if (impl_->appWindow) {
        ShowWindow(impl_->appWindow, SW_SHOWNORMAL);
    }
}

Application::~Application() = default;

void Application::setTitle(const std::string& title) {
    setErrorBoxTitle(title);
    impl_->dialogs.setApplicationTitle(title);
    if (impl_->appWindow) {
        SetWindowTextA(impl_->appWindow, title.c_str());
    }
}

void Application::createForm(const FormLayout& layout, const FormFactory& factory) {
    Impl& impl = *impl_;
    impl.window.create(layout, impl.appWindow, windowProcedure<mainProc>, &impl);
    impl.focus.setUp(impl.window.handle(), impl.window.tabOrder());
    const Services services{impl.system, impl.dialogs, impl.files};
    impl.form = factory(impl.window, services);
    impl.form->FormCreate();
    impl.window.fitClientArea();
}

void Application::run() {
    Impl& impl = *impl_;
    if (impl.window.handle()) {
        ShowWindow(impl.window.handle(), SW_SHOWNORMAL);
        UpdateWindow(impl.window.handle());
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (impl.staleAfterClick(message)) {
            continue;
        }
        if (!impl.preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    impl.window.destroy();
}

void Application::showUncaught(const std::string& title) noexcept {
    caught(0, [&title] {
        setErrorBoxTitle(title);
        return 0;
    });
    showCurrentException();
}

void Application::showException(const std::string& message) {
    showErrorBox(message.c_str());
}

void Application::runMainForm(const std::string& title, const FormLayout& layout,
                              const FormFactory& factory) {
    try {
        setTitle(title);
        createForm(layout, factory);
        run();
    } catch (...) {
        showCurrentException();
    }
}

} // namespace platform::win32
