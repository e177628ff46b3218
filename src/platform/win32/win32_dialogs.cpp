#include "platform/win32/win32_dialogs.h"

#include <windows.h>

#include <vector>

#include "platform/message_box.h"
#include "platform/win32/error_box.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/window_classes.h"

namespace platform::win32 {
namespace {

constexpr int IdMessage = 100;
constexpr int IdIcon = 101;

struct BoxState {
    BoxButtons buttons;
    std::vector<std::string> lines;
    HFONT font = nullptr;
    int lineHeight = 0;
    int answer = 0;
    bool done = false;
};

bool hasAnswer(const BoxButtons& buttons, int answer) {
    for (int a : buttons.answers) {
        if (a == answer) {
            return true;
        }
    }
    return false;
}

void finish(HWND box, BoxState& state, int answer) {
    state.answer = answer;
    state.done = true;
    (void)box;
}

LRESULT boxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<BoxState*>(GetWindowLongPtrA(box, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(box, message, wParam, lParam);
    }
    if (!state) {
        return DefWindowProcA(box, message, wParam, lParam);
    }
    switch (message) {
    case DM_GETDEFID:
        return MAKELRESULT(state->buttons.defaultAnswer, DC_HASDEFID);
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDCANCEL && !hasAnswer(state->buttons, IDCANCEL)) {
            // Esc: the "&No" button, else "OK"; a box with only "&Yes" ignores it.
            if (state->buttons.escapeAnswer != 0) {
                finish(box, *state, state->buttons.escapeAnswer);
            }
        } else if (hasAnswer(state->buttons, id) && HIWORD(wParam) == BN_CLICKED) {
            finish(box, *state, id);
        }
        return 0;
    }
    case WM_CLOSE:
        finish(box, *state, hasAnswer(state->buttons, AnswerNo) ? AnswerNo : AnswerCancel);
        return 0;
    case WM_SETCURSOR:
        if (applyScreenCursor()) {
            return TRUE;
        }
        break;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID != IdMessage) {
            break;
        }
        // The static keeps the text as given (other programs read it); the lines drawn are
        // the wrapped ones.
        HGDIOBJ old = SelectObject(item->hDC, state->font);
        SetBkMode(item->hDC, TRANSPARENT);
        SetTextColor(item->hDC, GetSysColor(COLOR_WINDOWTEXT));
        int y = item->rcItem.top;
        for (const std::string& line : state->lines) {
            TextOutA(item->hDC, item->rcItem.left, y, line.c_str(), static_cast<int>(line.size()));
            y += state->lineHeight;
        }
        SelectObject(item->hDC, old);
        return TRUE;
    }
    default:
        break;
    }
    return DefWindowProcA(box, message, wParam, lParam);
}

void registerBoxClass() {
    static bool registered = false;
    if (registered) {
        return;
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = windowProcedure<boxProc>;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = MessageBoxClass;
    RegisterClassA(&wc);
    registered = true;
}

const char* iconResource(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Exclamation:
        return IDI_EXCLAMATION;
    case BoxIcon::Stop:
        return IDI_HAND;
    case BoxIcon::Question:
        return IDI_QUESTION;
    case BoxIcon::None:
        break;
    }
    return nullptr;
}

// The font of the box's text (message) or of its caption bar (caption), from the system's
// metrics; null when it has none.
HFONT nonClientFont(bool caption) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return CreateFontIndirectA(caption ? &metrics.lfCaptionFont : &metrics.lfMessageFont);
    }
    return nullptr;
}

// The width of a caption in the caption bar's font.
int captionWidth(HDC dc, const std::string& caption) {
    HFONT font = nonClientFont(true);
    if (!font) {
        return 0;
    }
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{0, 0};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    SelectObject(dc, old);
    DeleteObject(font);
    return static_cast<int>(extent.cx);
}

struct DisabledWindows {
    std::vector<HWND> windows;
    HWND box = nullptr;
};

BOOL CALLBACK disableWindow(HWND window, LPARAM context) {
    return caught(FALSE, [window, context] {
        auto* disabled = reinterpret_cast<DisabledWindows*>(context);
        if (window != disabled->box && IsWindowVisible(window) && IsWindowEnabled(window)) {
            disabled->windows.push_back(window); // noted first: none stays disabled for good
            EnableWindow(window, FALSE);
        }
        return TRUE;
    });
}

} // namespace

int Win32Dialogs::show(BoxKind kind, const std::string& text, unsigned buttons) {
    // Only what the user does once the box is there answers it: a key typed or a click made
    // while the program was busy (Enter above all, which the default button would take) is not
    // an answer to a question the user has not seen.
    discardQueuedInput();
    registerBoxClass();
    const BoxStyle style = boxStyle(kind, applicationTitle_);
    BoxState state;
    state.buttons = boxButtons(buttons);

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    const auto scaled = [dpi](int value) { return MulDiv(value, dpi, 96); };
    state.font = nonClientFont(false);
    HGDIOBJ defaultFont = GetStockObject(DEFAULT_GUI_FONT);
    HFONT font = state.font ? state.font : static_cast<HFONT>(defaultFont);
    HGDIOBJ oldFont = SelectObject(screen, font);
    TEXTMETRICA metrics;
    GetTextMetricsA(screen, &metrics);
    state.lineHeight = metrics.tmHeight;
    const auto width = [screen](const std::string& s) {
        SIZE extent{0, 0};
        GetTextExtentPoint32A(screen, s.c_str(), static_cast<int>(s.size()), &extent);
        return static_cast<int>(extent.cx);
    };
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    state.lines = wrapText(text, screenWidth / 2, width);
    int textWidth = 0;
    for (const std::string& line : state.lines) {
        const int w = width(line);
        textWidth = w > textWidth ? w : textWidth;
    }
    const int textHeight = state.lineHeight * static_cast<int>(state.lines.size());
    int buttonWidth = scaled(75);
    for (int answer : state.buttons.answers) {
        const int w = width(buttonText(answer)) + scaled(16);
        buttonWidth = w > buttonWidth ? w : buttonWidth;
    }
    SelectObject(screen, oldFont);
    const int captionTextWidth = captionWidth(screen, style.caption);
    ReleaseDC(nullptr, screen);

    const int margin = scaled(11);
    const int gap = scaled(8);
    const int buttonHeight = scaled(23);
    const char* icon = iconResource(style.icon);
    const int iconSize = icon ? GetSystemMetrics(SM_CXICON) : 0;
    const int textLeft = margin + (icon ? iconSize + scaled(12) : 0);
    const int buttonCount = static_cast<int>(state.buttons.answers.size());
    const int buttonsWidth = buttonCount * buttonWidth + (buttonCount - 1) * gap;
    int clientWidth = textLeft + textWidth + margin;
    if (buttonsWidth + 2 * margin > clientWidth) {
        clientWidth = buttonsWidth + 2 * margin;
    }
    // As wide as the caption needs too: its text in the caption bar, then the close button.
    const int captionBarWidth = captionTextWidth + GetSystemMetrics(SM_CYCAPTION) + 2 * margin;
    if (captionBarWidth > clientWidth) {
        clientWidth = captionBarWidth;
    }
    const int bodyHeight = textHeight > iconSize ? textHeight : iconSize;
    const int buttonTop = margin + bodyHeight + margin;
    const int clientHeight = buttonTop + buttonHeight + margin;

    const DWORD boxStyleBits = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
    const DWORD boxExStyle = WS_EX_DLGMODALFRAME;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, boxStyleBits, FALSE, boxExStyle);
    const int outerWidth = frame.right - frame.left;
    const int outerHeight = frame.bottom - frame.top;

    // Owned by the window that was active (the main window, or the application's hidden
    // window while the main window is not yet shown).
    HWND owner = GetActiveWindow();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND box = CreateWindowExA(boxExStyle, MessageBoxClass, style.caption.c_str(), boxStyleBits,
                               (screenWidth - outerWidth) / 2, (screenHeight - outerHeight) / 2,
                               outerWidth, outerHeight, owner, nullptr, instance, &state);
    if (!box) {
        if (state.font) {
            DeleteObject(state.font);
        }
        return AnswerCancel;
    }
    const auto child = [&](const char* cls, const char* caption, DWORD bits, int x, int y, int w,
                           int h, int id) {
        HWND control =
            CreateWindowExA(0, cls, caption, WS_CHILD | WS_VISIBLE | bits, x, y, w, h, box,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    if (icon) {
        HWND iconControl = child("STATIC", "", SS_ICON, margin, margin, iconSize, iconSize, IdIcon);
        SendMessageA(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, icon)),
                     0);
    }
    const int textTop = margin + (bodyHeight - textHeight) / 2;
    child("STATIC", text.c_str(), SS_OWNERDRAW | SS_NOPREFIX, textLeft, textTop, textWidth,
          textHeight, IdMessage);
    HWND defaultButton = nullptr;
    int x = (clientWidth - buttonsWidth) / 2;
    for (int answer : state.buttons.answers) {
        const bool isDefault = answer == state.buttons.defaultAnswer;
        HWND button = child("BUTTON", buttonText(answer),
                            WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x,
                            buttonTop, buttonWidth, buttonHeight, answer);
        if (isDefault) {
            defaultButton = button;
        }
        x += buttonWidth + gap;
    }

    DisabledWindows disabled;
    disabled.box = box;
    EnumThreadWindows(GetCurrentThreadId(), disableWindow, reinterpret_cast<LPARAM>(&disabled));
    ShowWindow(box, SW_SHOWNORMAL);
    SetForegroundWindow(box);
    SetFocus(defaultButton);

    MSG message;
    while (!state.done) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The quit request ends the box; the loop that runs the program must see it too.
            PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 0);
            state.answer = AnswerCancel;
            break;
        }
        if (!IsDialogMessageA(box, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    // Enable the others before the box goes, so that activation returns to its owner.
    for (HWND window : disabled.windows) {
        EnableWindow(window, TRUE);
    }
    DestroyWindow(box);
    if (state.font) {
        DeleteObject(state.font);
    }
    return state.answer;
}

} // namespace platform::win32
