// The measuring library of the driver's text-fit steps. The driver loads it into the program's
// own process (another process gets no usable font from WM_GETFONT under Wine) and runs
// MeasureTexts there in a thread of its own. Every text a control draws is measured in the font
// the control answers WM_GETFONT with, and the rectangle it is drawn in is compared with the
// room the control gives it, both in the parent's client coordinates; every room ends at the
// parent's client area as well. By kind of control:
//
//   label        drawn as the static control draws it (wrapped at its width unless it is a
//                single-line kind, aligned by its style); room: its client area or, for a label
//                sized to its caption, the window's client area from its left, and no further
//                right than the next visible control on the same rows
//   push button  centred in its client area (one pixel in for the default button); room: inside
//                the button's frame (its edge)
//   group box    drawn 8 pixels in from its left on its top line; room: up to 7 pixels before
//                its right edge
//   combo box    its text after the edit field's left margin, room up to its right margin;
//                each item one pixel into the drop-down list, room its client width less the
//                scroll bar the list shows when it holds more items than it has rows for
//   list box     each item one pixel into its client area (which excludes a shown scroll bar)
//   box text     the program's message box draws its text as lines wrapped at half the
//                screen's width, one below the other in the text's control: each line is judged
//   title        in the caption font of the non-client metrics, two pixels after the window's
//                icon; room: the caption bar inside the frame less the icon and the buttons
//
// The room must also be as tall as the font's lines (for list items: their item height).
#include "textfit.h"

#include <exception>
#include <map>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/win32/window_classes.h"

namespace {

// How long the program's thread may take to answer one message. Once it has not answered, the
// rest of the run asks nothing more: the driver asks again later.
constexpr UINT AnswerMs = 300;

// Wine's button and list box draw their texts this far in.
constexpr int GroupCaptionIndent = 8;
constexpr int GroupCaptionEnd = 7;
constexpr int ItemIndent = 1;

class Run {
public:
    std::string reply;

    void add(const char* status, int id, const std::string& what, const std::string& text,
             const std::string& detail) {
        reply += std::string(status) + "\t" + std::to_string(id) + "\t" + what + "\t" +
                 oneLine(text) + "\t" + detail + "\n";
    }

    // A message the program's thread answers, false when it does not in time.
    bool ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        DWORD_PTR value = 0;
        if (busy_ || !SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                                          AnswerMs, &value)) {
            busy_ = true;
            return false;
        }
        result = static_cast<LRESULT>(value);
        return true;
    }

private:
    bool busy_ = false;

    static std::string oneLine(const std::string& text) {
        std::string out;
        for (char c : text) {
            out += c == '\n'   ? std::string("\\n")
                   : c == '\t' ? std::string("\\t")
                               : std::string(1, c);
        }
        return out;
    }
};

// Fonts the controls answered with, for the time their thread is busy (a flash, a build): a
// control keeps its font.
std::map<HWND, HFONT>& knownFonts() {
    static std::map<HWND, HFONT> fonts;
    return fonts;
}

// The control's font: its WM_GETFONT answer (none: the system font).
bool fontOf(Run& run, HWND control, HFONT& font) {
    LRESULT answer = 0;
    if (run.ask(control, WM_GETFONT, 0, 0, answer)) {
        font = answer ? reinterpret_cast<HFONT>(answer)
                      : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
        knownFonts()[control] = font;
        return true;
    }
    const auto known = knownFonts().find(control);
    if (known == knownFonts().end()) {
        return false;
    }
    font = known->second;
    return true;
}

// A window's text as it keeps it; read without a message, so also while its thread is busy.
std::string textOf(HWND window) {
    wchar_t wide[2048];
    const int got = InternalGetWindowText(window, wide, 2048);
    if (got <= 0) {
        return {};
    }
    char narrow[4096];
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide, got, narrow, sizeof narrow, nullptr, nullptr);
    return std::string(narrow, static_cast<size_t>(length > 0 ? length : 0));
}

// A control's text and font; false, with a "busy" finding, when its thread does not answer.
bool textAndFont(Run& run, HWND control, int id, const std::string& what, std::string& text,
                 HFONT& font) {
    text = textOf(control);
    if (!fontOf(run, control, font)) {
        run.add("busy", id, what, text, "");
        return false;
    }
    return true;
}

std::string classOf(HWND window) {
    char name[256];
    const int got = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<size_t>(got > 0 ? got : 0));
}

bool isClass(HWND window, const char* name) {
    return lstrcmpiA(classOf(window).c_str(), name) == 0;
}

// What a button shows of its caption: "&&" is "&", a single "&" underlines the next character.
std::string withoutPrefix(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        }
        shown += text[i];
    }
    return shown;
}

// A device context of the window with a font selected, for measuring.
class Measure {
public:
    Measure(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
        old_ = SelectObject(dc_, font);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc_, &metrics);
        lineHeight = metrics.tmHeight;
    }
    ~Measure() {
        SelectObject(dc_, old_);
        ReleaseDC(window_, dc_);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    int lineHeight = 0;

    int width(const std::string& text) const {
        SIZE size{0, 0};
        GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    HDC dc() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ old_;
};

RECT clientIn(HWND window, HWND reference) {
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, reference, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT outerIn(HWND window, HWND reference) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT common(const RECT& a, const RECT& b) {
    RECT r;
    if (!IntersectRect(&r, &a, &b)) {
        r = RECT{a.left, a.top, a.left, a.top};
    }
    return r;
}

RECT drawnAt(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

std::string describe(const RECT& r) {
    return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + " at " +
           std::to_string(r.left) + "," + std::to_string(r.top);
}

void judge(Run& run, int id, const std::string& what, const std::string& text, const RECT& drawn,
           const RECT& room, const char* rule) {
    const bool fits = drawn.left >= room.left && drawn.top >= room.top &&
                      drawn.right <= room.right && drawn.bottom <= room.bottom;
    run.add(fits ? "fits" : "cut", id, what, text,
            "text " + describe(drawn) + ", room " + describe(room) + " (" + rule + ")");
}

// The parent's client area in its own coordinates.
RECT parentArea(HWND parent) {
    RECT r;
    GetClientRect(parent, &r);
    return r;
}

void label(Run& run, HWND parent, HWND control, int id, const std::string& what) {
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    std::string text;
    HFONT font = nullptr;
    if (!textAndFont(run, control, id, what, text, font)) {
        return;
    }
    UINT format = DT_EXPANDTABS | DT_WORDBREAK;
    switch (style & SS_TYPEMASK) {
    case SS_SIMPLE:
        format = DT_SINGLELINE;
        break;
    case SS_LEFTNOWORDWRAP:
        format = DT_EXPANDTABS;
        break;
    default:
        break;
    }
    if (style & SS_NOPREFIX) {
        format |= DT_NOPREFIX;
    }
    const RECT client = clientIn(control, parent);
    const Measure measure(control, font);
    RECT block{0, 0, client.right - client.left, 0};
    DrawTextA(measure.dc(), text.c_str(), static_cast<int>(text.size()), &block,
              format | DT_CALCRECT);
    const int width = block.right - block.left;
    int left = client.left;
    if ((style & SS_TYPEMASK) == SS_CENTER) {
        left += (client.right - client.left - width) / 2;
    } else if ((style & SS_TYPEMASK) == SS_RIGHT) {
        left = client.right - width;
    }
    const RECT drawn = drawnAt(left, client.top, width, block.bottom - block.top);
    // The window's room for it: its client area from the label on.
    RECT room = common(RECT{client.left, client.top, 32767, client.bottom}, parentArea(parent));
    for (HWND sibling = GetWindow(parent, GW_CHILD); sibling;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == control || !IsWindowVisible(sibling) ||
            (isClass(sibling, "Button") &&
             (GetWindowLongA(sibling, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX)) {
            continue;
        }
        const RECT other = outerIn(sibling, parent);
        if (other.left > client.left && other.left < room.right && other.top < drawn.bottom &&
            other.bottom > drawn.top) {
            room.right = other.left;
        }
    }
    if (EqualRect(&drawn, &client)) {
        judge(run, id, what, text, drawn, room,
              "label sized to its caption: the window's client area up to the next control");
    } else {
        judge(run, id, what, text, drawn, common(client, room),
              "label: its client area, within the window up to the next control");
    }
}

// A push button's caption, centred inside its frame, or a group box's, on its top line.
void button(Run& run, HWND parent, HWND control, int id, const std::string& what) {
    std::string text;
    HFONT font = nullptr;
    if (!textAndFont(run, control, id, what, text, font)) {
        return;
    }
    text = withoutPrefix(text);
    const Measure measure(control, font);
    const int width = measure.width(text);
    const LONG kind = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    RECT frame = clientIn(control, parent);
    if (kind == BS_GROUPBOX) {
        const RECT room{frame.left + GroupCaptionIndent, frame.top, frame.right - GroupCaptionEnd,
                        frame.bottom};
        judge(run, id, what, text,
              drawnAt(frame.left + GroupCaptionIndent, frame.top, width, measure.lineHeight),
              common(room, parentArea(parent)),
              "group box: after its indent, before its right edge");
        return;
    }
    if (kind == BS_DEFPUSHBUTTON) {
        InflateRect(&frame, -1, -1);
    }
    RECT room = frame;
    InflateRect(&room, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    const RECT drawn = drawnAt(frame.left + (frame.right - frame.left - width) / 2,
                               frame.top + (frame.bottom - frame.top - measure.lineHeight) / 2,
                               width, measure.lineHeight);
    judge(run, id, what, text, drawn, common(room, parentArea(parent)),
          "push button: inside its frame");
}

// The items of a list box or of a combo box's drop-down list. `clip` is where the list shows
// in its own client coordinates (its client area, within its parent's for a child list).
void listItems(Run& run, HWND list, RECT clip, bool dropDown, int id, const std::string& what) {
    LRESULT count = 0;
    LRESULT itemHeight = 0;
    HFONT font = nullptr;
    if (!run.ask(list, LB_GETCOUNT, 0, 0, count) ||
        !run.ask(list, LB_GETITEMHEIGHT, 0, 0, itemHeight) || !fontOf(run, list, font)) {
        run.add("busy", id, what, "", "");
        return;
    }
    RECT client;
    GetClientRect(list, &client);
    if (dropDown && !(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL) &&
        count * itemHeight > client.bottom) {
        client.right -= GetSystemMetrics(SM_CXVSCROLL); // shown once the list drops down
    }
    clip = common(clip, client);
    const Measure measure(list, font);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = 0;
        if (!run.ask(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, length) || length < 0) {
            run.add("busy", id, what, "", "");
            return;
        }
        std::string text(static_cast<size_t>(length) + 1, '\0');
        LRESULT got = 0;
        if (!run.ask(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]),
                     got) ||
            got < 0) {
            run.add("busy", id, what, "", "");
            return;
        }
        text.resize(static_cast<size_t>(got));
        const RECT row{clip.left, 0, clip.right, static_cast<LONG>(itemHeight)};
        judge(run, id, what + " item " + std::to_string(i + 1), text,
              drawnAt(ItemIndent, 0, measure.width(text), measure.lineHeight), row,
              dropDown ? "combo box item: the drop-down list's width less a needed scroll bar"
                       : "list box item: its client width");
    }
}

void listBox(Run& run, HWND parent, HWND control, int id, const std::string& what) {
    RECT shown = parentArea(parent);
    MapWindowPoints(parent, control, reinterpret_cast<POINT*>(&shown), 2);
    listItems(run, control, shown, false, id, what);
}

void comboBox(Run& run, HWND parent, HWND control, int id, const std::string& what) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    LRESULT ignored = 0;
    if (!run.ask(control, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info), ignored)) {
        run.add("busy", id, what, textOf(control), "");
        return;
    }
    if (!info.hwndItem) {
        run.add("bad", id, what, textOf(control), "a combo box without an edit field");
        return;
    }
    // An edit field keeps its text to itself: it is asked for it.
    char field[1024];
    LRESULT length = 0;
    HFONT font = nullptr;
    LRESULT margins = 0;
    if (!run.ask(info.hwndItem, WM_GETTEXT, sizeof field, reinterpret_cast<LPARAM>(field),
                 length) ||
        !fontOf(run, info.hwndItem, font) ||
        !run.ask(info.hwndItem, EM_GETMARGINS, 0, 0, margins)) {
        run.add("busy", id, what, textOf(control), "");
        return;
    }
    const std::string text(field, static_cast<size_t>(length > 0 ? length : 0));
    if (!text.empty()) {
        const Measure measure(info.hwndItem, font);
        const RECT area = clientIn(info.hwndItem, parent);
        const RECT room{area.left + LOWORD(margins), area.top, area.right - HIWORD(margins),
                        area.bottom};
        judge(
            run, id, what, text,
            drawnAt(area.left + LOWORD(margins), area.top, measure.width(text), measure.lineHeight),
            common(common(room, clientIn(control, parent)), parentArea(parent)),
            "combo box text: its edit field inside the margins");
    }
    if (info.hwndList) {
        RECT anywhere{-32768, -32768, 32767, 32767};
        listItems(run, info.hwndList, anywhere, true, id, what);
    }
}

// The lines the program's message box draws: its text wrapped at half the screen's width, one
// below the other from the top of the text's control.
void boxText(Run& run, HWND box, HWND control, int id, const std::string& what) {
    std::string text;
    HFONT font = nullptr;
    if (!textAndFont(run, control, id, what, text, font)) {
        return;
    }
    const Measure measure(control, font);
    const std::vector<std::string> lines =
        platform::wrapText(text, GetSystemMetrics(SM_CXSCREEN) / 2,
                           [&measure](const std::string& line) { return measure.width(line); });
    const RECT client = clientIn(control, box);
    const RECT room = common(client, parentArea(box));
    int top = client.top;
    for (size_t i = 0; i < lines.size(); ++i, top += measure.lineHeight) {
        if (lines[i].empty()) {
            continue;
        }
        judge(run, id, what + " line " + std::to_string(i + 1), lines[i],
              drawnAt(client.left, top, measure.width(lines[i]), measure.lineHeight), room,
              "box text: its lines in the text's control");
    }
}

void title(Run& run, HWND window) {
    const std::string text = textOf(window);
    if (text.empty()) {
        return;
    }
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    // In window coordinates: the frame is as wide as the client area is in from the left.
    RECT outer;
    GetWindowRect(window, &outer);
    const RECT client = clientIn(window, nullptr);
    const int frame = client.left - outer.left;
    const RECT bar{frame, frame, outer.right - outer.left - frame,
                   frame + GetSystemMetrics(SM_CYCAPTION) - 1};
    RECT room = bar;
    if ((style & WS_SYSMENU) && !(exStyle & (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME))) {
        room.left += GetSystemMetrics(SM_CXSMICON) + 2;
    }
    if (style & WS_SYSMENU) {
        room.right -= GetSystemMetrics(SM_CYCAPTION) - 1;
        if (style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) {
            room.right -= 2 * (GetSystemMetrics(SM_CXSIZE) + 1);
        }
    }
    room.left += 2;
    {
        const Measure measure(window, font);
        const RECT drawn =
            drawnAt(room.left, bar.top + (bar.bottom - bar.top - measure.lineHeight) / 2,
                    measure.width(text), measure.lineHeight);
        judge(run, -1, "title", text, drawn, room,
              "title: the caption bar less the icon and the caption buttons");
    }
    DeleteObject(font);
}

void control(Run& run, HWND window, HWND child) {
    const int id = GetDlgCtrlID(child);
    const std::string cls = classOf(child);
    const std::string what = "#" + std::to_string(id) + " " + cls;
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(cls.c_str(), "Static") == 0) {
        switch (style & SS_TYPEMASK) {
        case SS_LEFT:
        case SS_CENTER:
        case SS_RIGHT:
        case SS_SIMPLE:
        case SS_LEFTNOWORDWRAP:
            label(run, window, child, id, what);
            return;
        case SS_OWNERDRAW:
            if (classOf(window) == platform::win32::MessageBoxClass) {
                boxText(run, window, child, id, what);
                return;
            }
            break;
        default:
            return; // icons, pictures, frames: no text
        }
    } else if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
        case BS_GROUPBOX:
            button(run, window, child, id, what);
            return;
        default:
            break;
        }
    } else if (lstrcmpiA(cls.c_str(), "ComboBox") == 0) {
        comboBox(run, window, child, id, what);
        return;
    } else if (lstrcmpiA(cls.c_str(), "ListBox") == 0) {
        listBox(run, window, child, id, what);
        return;
    }
    const std::string text = textOf(child);
    if (!text.empty()) {
        run.add("bad", id, what, text, "no rule for this kind of control");
    }
}

// The findings for the request: 0, or 1 when they do not fit its reply.
DWORD measure(textfit::Request* request) {
    Run run;
    if (request->count == 0) {
        title(run, request->window);
        for (HWND child = GetWindow(request->window, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (IsWindowVisible(child)) {
                control(run, request->window, child);
            }
        }
    } else {
        for (int i = 0; i < request->count && i < textfit::MaxControls; ++i) {
            HWND child = request->controls[i];
            if (IsWindowVisible(child)) {
                control(run, request->window, child);
            } else {
                run.add("bad", GetDlgCtrlID(child), "#" + std::to_string(GetDlgCtrlID(child)),
                        textOf(child), "not shown: nothing drawn to measure");
            }
        }
    }
    const size_t size =
        run.reply.size() < textfit::ReplySize - 1 ? run.reply.size() : textfit::ReplySize - 1;
    run.reply.copy(request->reply, size);
    request->reply[size] = '\0';
    return size == run.reply.size() ? 0 : 1;
}

} // namespace

// The thread routine the driver starts in the program's process. An exception ends here, not
// in the program: the reply then names it.
extern "C" __declspec(dllexport) DWORD WINAPI MeasureTexts(LPVOID parameter) {
    auto* request = static_cast<textfit::Request*>(parameter);
    try {
        return measure(request);
    } catch (const std::exception& error) {
        lstrcpynA(request->reply, error.what(), textfit::ReplySize);
    } catch (...) {
        lstrcpynA(request->reply, "an exception", textfit::ReplySize);
    }
    return textfit::Failed;
}
