// Test doubles of the main window's controls: plain state that tests read and set.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace platform::fake {

class FakeLabel : public Label {
public:
    bool shown = true;
    std::string text;
    int repaints = 0;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
    std::string caption() const override { return text; }
    void setCaption(const std::string& t) override { text = t; }
};

class FakeFrame : public Frame {
public:
    bool shown = true;
    std::string text;
    // Every caption the frame showed when it was repainted, in order.
    std::vector<std::string> painted;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
    std::string caption() const override { return text; }
    void setCaption(const std::string& t) override { text = t; }
    void repaint() override { painted.push_back(text); }
};

class FakeButton : public Button {
public:
    bool shown = true;
    bool isEnabled = true;
    std::string text;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
    std::string caption() const override { return text; }
    void setCaption(const std::string& t) override { text = t; }
    bool enabled() const override { return isEnabled; }
    void setEnabled(bool e) override { isEnabled = e; }
};

class FakeProgressBar : public ProgressBar {
public:
    bool shown = true;
    int32_t lo = 0, hi = 100, stepSize = 10, pos = 0;
    int stepCalls = 0;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
    int32_t min() const override { return lo; }
    int32_t max() const override { return hi; }
    int32_t step() const override { return stepSize; }
    int32_t position() const override { return pos; }
    void setMin(int32_t v) override { lo = v; }
    void setMax(int32_t v) override { hi = v; }
    void setStep(int32_t v) override { stepSize = v; }
    // The native bar keeps the position inside its range.
    void setPosition(int32_t v) override { pos = v < lo ? lo : v > hi ? hi : v; }
    void stepIt() override {
        ++stepCalls;
        setPosition(pos + stepSize);
    }
};

class FakeComboBox : public ComboBox {
public:
    bool shown = true;
    std::vector<std::string> items;
    int index = -1;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
    void addItem(const std::string& text) override { items.push_back(text); }
    int itemCount() const override { return static_cast<int>(items.size()); }
    std::string item(int i) const override { return items.at(static_cast<size_t>(i)); }
    int itemIndex() const override { return index; }
    void setItemIndex(int i) override { index = i >= -1 && i < itemCount() ? i : -1; }
};

class FakeFileList : public FileList {
public:
    bool shown = true;
    std::string maskText = "*.*";
    std::string dir;
    std::vector<std::string> items;
    int index = -1;
    // When set, the list is filled from it (directory, mask) whenever the mask or the
    // directory changes, and the selection is dropped, as the native list does.
    std::function<std::vector<std::string>(const std::string&, const std::string&)> source;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
    void setMask(const std::string& m) override {
        maskText = m;
        refill();
    }
    std::string mask() const override { return maskText; }
    void setDirectory(const std::string& d) override {
        dir = d;
        refill();
    }
    std::string directory() const override { return dir; }
    int itemCount() const override { return static_cast<int>(items.size()); }
    std::string item(int i) const override { return items.at(static_cast<size_t>(i)); }
    int itemIndex() const override { return index; }
    std::string fileName() const override;
    // Selects the item of that name; false (and nothing selected) when there is none.
    bool select(const std::string& name);

private:
    void refill();
};

class FakeMainWindow : public MainWindow {
public:
    std::string text;
    bool shownEarly = false;
    void setTitle(const std::string& t) override { text = t; }
    std::string title() const override { return text; }
    void show() override { shownEarly = true; }
};

} // namespace platform::fake
