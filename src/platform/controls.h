// The controls of the main window as the logic sees them: each wrapper offers only the
// properties that some handler reads or sets.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Control {
public:
    virtual ~Control() = default;
    virtual bool visible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

class CaptionedControl : public Control {
public:
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
};

class Label : public CaptionedControl {};

// The frame's caption is the status line; the thread that changes it is busy, so the frame
// is repainted explicitly.
class Frame : public CaptionedControl {
public:
    virtual void repaint() = 0;
};

class Button : public CaptionedControl {
public:
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

// 32-bit range, position and step: the flash uses the bar as its transfer state (offset and
// block length), and 262144 does not fit in 16 bits.
class ProgressBar : public Control {
public:
    virtual int32_t min() const = 0;
    virtual int32_t max() const = 0;
    virtual int32_t step() const = 0;
    virtual int32_t position() const = 0;
    virtual void setMin(int32_t value) = 0;
    virtual void setMax(int32_t value) = 0;
    virtual void setStep(int32_t value) = 0;
    virtual void setPosition(int32_t value) = 0;
    // Position plus step, as the native control does it.
    virtual void stepIt() = 0;
};

class ComboBox : public Control {
public:
    virtual void addItem(const std::string& text) = 0;
    virtual int itemCount() const = 0;
    virtual std::string item(int index) const = 0;
    // -1 when no item is current (typing into the edit field leaves none).
    virtual int itemIndex() const = 0;
    virtual void setItemIndex(int index) = 0;
};

// Lists the plain files of one directory whose names match a semicolon-separated mask.
class FileList : public Control {
public:
    virtual void setMask(const std::string& mask) = 0;
    virtual std::string mask() const = 0;
    virtual void setDirectory(const std::string& directory) = 0;
    virtual std::string directory() const = 0;
    virtual int itemCount() const = 0;
    virtual std::string item(int index) const = 0;
    virtual int itemIndex() const = 0;
    // Directory joined with the selected name; empty when nothing is selected.
    virtual std::string fileName() const = 0;
};

class MainWindow {
public:
    virtual ~MainWindow() = default;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    // Shows the window now, fitted to its visible controls, before the message loop would.
    virtual void show() = 0;
};

} // namespace platform
