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

class Win32Label : public Label, public NativeControl {
public:
    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
    std::string caption() const override { return text(); }
    // The label sizes itself to its caption.
    void setCaption(const std::string& caption) override;
};

class Win32Frame : public Frame, public NativeControl {
public:
    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
    std::string caption() const override { return text(); }
    void setCaption(const std::string& caption) override;
    void repaint() override;
};

class Win32Button : public Button, public NativeControl {
public:
    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
    std::string caption() const override { return text(); }
    void setCaption(const std::string& caption) override { setText(caption); }
    bool enabled() const override;
    void setEnabled(bool enabled) override;
};

// The bar keeps its range, position and step itself (see ProgressModel) and only tells the
// control: common controls 4.00 have no 32-bit range and no way to read anything back.
class Win32ProgressBar : public ProgressBar, public NativeControl, private ProgressDisplay {
public:
    Win32ProgressBar() : model_(*this) {}
    // Finds out once whether the control takes 32-bit ranges, then shows 0..100.
    void start();

    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
    int32_t min() const override { return model_.min(); }
    int32_t max() const override { return model_.max(); }
    int32_t step() const override { return model_.step(); }
    int32_t position() const override { return model_.position(); }
    void setMin(int32_t value) override { model_.setRange(value, model_.max()); }
    void setMax(int32_t value) override { model_.setRange(model_.min(), value); }
    void setStep(int32_t value) override { model_.setStep(value); }
    void setPosition(int32_t value) override { model_.setPosition(value); }
    void stepIt() override { model_.stepIt(); }

private:
    bool showRange32(int32_t min, int32_t max) override;
    void showRange16(uint16_t min, uint16_t max) override;
    void showPosition(int32_t position) override;

    ProgressModel model_;
    bool wide_ = false;
};

class Win32ComboBox : public ComboBox, public NativeControl {
public:
    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
    void addItem(const std::string& text) override;
    int itemCount() const override;
    std::string item(int index) const override;
    int itemIndex() const override;
    void setItemIndex(int index) override;
};

class Win32FileList : public FileList, public NativeControl {
public:
    bool visible() const override { return isVisible(); }
    void setVisible(bool visible) override { show(visible); }
    void setMask(const std::string& mask) override;
    std::string mask() const override { return mask_; }
    void setDirectory(const std::string& directory) override;
    std::string directory() const override { return directory_; }
    int itemCount() const override;
    std::string item(int index) const override;
    int itemIndex() const override;
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
