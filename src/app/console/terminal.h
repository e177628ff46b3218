// The flasher's window as a terminal shows it: message boxes become lines and questions on the
// standard error, the progress bar a bar drawn in place (plain lines where the standard error
// is no terminal), the status line a line of its own, and the drive list the one drive chosen.
#pragma once

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/progress_model.h"

namespace console {

// The flasher's texts without the line feeds they open and close with in a box.
std::string trimmed(const std::string& text);

class TerminalBar;

// Questions are answered by the options where they allow it, else at the terminal; without a
// terminal to ask at, a question counts as answered No.
class TerminalDialogs : public platform::Dialogs {
public:
    TerminalDialogs(platform::Console& console, bool yes, bool allowOlder)
        : console_(console), yes_(yes), allowOlder_(allowOlder) {}
    int show(platform::BoxKind kind, const std::string& text, unsigned buttons) override;
    // The bar whose line a message must not run into.
    void setBar(TerminalBar* bar) { bar_ = bar; }

    // Every text shown, in order, for whoever needs to know what the user was told.
    const std::vector<std::string>& shown() const { return shown_; }

private:
    platform::Console& console_;
    bool yes_;
    bool allowOlder_;
    TerminalBar* bar_ = nullptr;
    std::vector<std::string> shown_;
};

// The bar: its state is the control's model; what it shows is drawn on the terminal with the
// name of the work in hand.
class TerminalBar : public platform::ModelledProgressBar<platform::ProgressBar> {
public:
    explicit TerminalBar(platform::Console& console) : console_(console) {}
    // What the bar counts from now on ("writing", "verifying", ...); a plain line says it
    // where no bar can be drawn.
    void setWork(const std::string& work);
    // Ends the bar's line, so that a message starts on a line of its own.
    void finishLine();

    bool visible() const override { return true; }
    void setVisible(bool) override {}

private:
    bool showRange32(int32_t, int32_t) override { return true; }
    void showRange16(uint16_t, uint16_t) override {}
    void showPosition(int32_t position) override;

    platform::Console& console_;
    bool drawn_ = false;
    std::string work_;
};

class StatusLine : public platform::Frame {
public:
    StatusLine(platform::Console& console, TerminalBar& bar) : console_(console), bar_(bar) {}
    bool visible() const override { return true; }
    void setVisible(bool) override {}
    std::string caption() const override { return text_; }
    void setCaption(const std::string& text) override { text_ = text; }
    void repaint() override;

private:
    platform::Console& console_;
    TerminalBar& bar_;
    std::string text_;
    std::string painted_;
};

// The drive list holds the drive the command works with.
class DriveChoice : public platform::ComboBox {
public:
    bool visible() const override { return true; }
    void setVisible(bool) override {}
    void addItem(const std::string& text) override { items_.push_back(text); }
    int itemCount() const override { return static_cast<int>(items_.size()); }
    std::string item(int index) const override { return items_.at(static_cast<size_t>(index)); }
    int itemIndex() const override { return index_; }
    void setItemIndex(int index) override {
        index_ = index >= 0 && index < itemCount() ? index : -1;
    }

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

} // namespace console
