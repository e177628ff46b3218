// The main window's controls over native child windows: one small wrapper per control kind.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/progress_model.h"

namespace platform::win32 {

// What every wrapper shares: the child window and its visibility. A change of visibility is
// reported to the window so that it can fit its client area.
class NativeControl {
public:
    NativeControl() = default;
    NativeControl(const NativeControl&) = delete;
    NativeControl& operator=(const NativeControl&) = delete;
    virtual ~NativeControl() = default;

    HWND handle() const { return hwnd_; }
    void attach(HWND hwnd, HWND owner) {
        hwnd_ = hwnd;
        owner_ = owner;
    }

protected:
    bool isVisible() const;
    void show(bool visible);
    std::string text() const;
    void setText(const std::string& text);

    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
};

// Sent to the main window when a control was shown or hidden.
constexpr UINT WM_KXD_LAYOUT = WM_APP + 1;

// A control interface over its native child window, with the visibility every control has.
template <typename Interface> class NativeWidget : public Interface, public NativeControl {
public:
    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
};

// The messages that read a native list's items: a list box's, or a combo box's list's.
struct ListMessages {
    UINT count;
    UINT textLength;
    UINT text;
    UINT selection;
};

// A list control whose items are read with the messages of its kind.
template <typename Interface> class NativeList : public NativeWidget<Interface> {
public:
    int itemCount() const override { return send(messages_.count, 0); }
    // Empty when there is no such item.
    std::string item(int index) const override;
    int itemIndex() const override { return send(messages_.selection, 0); }

protected:
    explicit NativeList(const ListMessages& messages) : messages_(messages) {}

private:
    int send(UINT message, WPARAM wParam) const {
        return static_cast<int>(SendMessageA(this->hwnd_, message, wParam, 0));
    }

    ListMessages messages_;
};

template <typename Interface> std::string NativeList<Interface>::item(int index) const {
    static_assert(CB_ERR == LB_ERR, "one error value for both kinds of list");
    const int length = send(messages_.textLength, static_cast<WPARAM>(index));
    if (length == LB_ERR) {
        return {};
    }
    std::string result(static_cast<size_t>(length) + 1, '\0');
    const LRESULT got = SendMessageA(this->hwnd_, messages_.text, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&result[0]));
    result.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    return result;
}

class Win32Label : public NativeWidget<Label> {
public:
    std::string caption() const override { return text(); }
    // The label sizes itself to its caption.
    void setCaption(const std::string& caption) override;
};

class Win32Frame : public NativeWidget<Frame> {
public:
    std::string caption() const override { return text(); }
    void setCaption(const std::string& caption) override;
    void repaint() override;
};

class Win32Button : public NativeWidget<Button> {
public:
    std::string caption() const override { return text(); }
    void setCaption(const std::string& caption) override { setText(caption); }
    bool enabled() const override;
    void setEnabled(bool enabled) override;
};

// The bar keeps its range, position and step itself (see ProgressModel) and only tells the
// control: common controls 4.00 have no 32-bit range and no way to read anything back.
class Win32ProgressBar : public ModelledProgressBar<NativeWidget<ProgressBar>> {
public:
    // Defined in one place, so that the destructor and its thunks for the second base are
    // made once (the linker refuses two differing copies of them).
    ~Win32ProgressBar() override;
    // Finds out once whether the control takes 32-bit ranges, then shows 0..100.
    void start();

private:
    bool showRange32(int32_t min, int32_t max) override;
    void showRange16(uint16_t min, uint16_t max) override;
    void showPosition(int32_t position) override;

    bool wide_ = false;
};

class Win32ComboBox : public NativeList<ComboBox> {
public:
    Win32ComboBox() : NativeList({CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_GETCURSEL}) {}
    void addItem(const std::string& text) override;
    void setItemIndex(int index) override;
};

class Win32FileList : public NativeList<FileList> {
public:
    Win32FileList() : NativeList({LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_GETCURSEL}) {}
    void setMask(const std::string& mask) override;
    std::string mask() const override { return mask_; }
    void setDirectory(const std::string& directory) override;
    std::string directory() const override { return directory_; }
    std::string fileName() const override;

    // Lists the directory again (also at creation).
    void refresh();

private:
    std::string mask_ = "*.*";
    std::string directory_;
};

// Names of the plain files (no directories) in `directory` that match any pattern of the
// semicolon-separated `mask`, duplicates removed, sorted.
std::vector<std::string> listFiles(const std::string& directory, const std::string& mask);

// `directory` joined with `name` by one backslash.
std::string joinPath(const std::string& directory, const std::string& name);

} // namespace platform::win32
