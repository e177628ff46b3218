#include "app/console/terminal.h"

namespace console {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of('\n');
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of('\n') - first + 1);
}

int TerminalDialogs::show(platform::BoxKind kind, const std::string& text, unsigned buttons) {
    shown_.push_back(text);
    if (bar_ != nullptr) {
        bar_->finishLine();
    }
    if ((buttons & platform::ButtonNo) == 0) {
        console_.err(trimmed(text) + "\n");
        return (buttons & platform::ButtonOk) != 0 ? platform::AnswerOk : platform::AnswerYes;
    }
    // The update question is a confirmation; older firmware is asked about in a warning, which
    // --yes never answers.
    const bool warning = kind == platform::BoxKind::Warning;
    console_.err(trimmed(text) + " [y/N] ");
    if (warning ? allowOlder_ : yes_) {
        console_.err(warning ? "yes (--allow-older)\n" : "yes (--yes)\n");
        return platform::AnswerYes;
    }
    if (!console_.inIsTerminal()) {
        console_.err(warning ? "no (no terminal to ask at: --allow-older answers yes)\n"
                             : "no (no terminal to ask at: --yes answers yes)\n");
        return platform::AnswerNo;
    }
    std::string line;
    if (!console_.readLine(line)) {
        console_.err("\n");
        return platform::AnswerNo;
    }
    return line == "y" || line == "Y" || line == "yes" || line == "YES" || line == "Yes"
               ? platform::AnswerYes
               : platform::AnswerNo;
}

void TerminalBar::setWork(const std::string& work) {
    finishLine();
    work_ = work;
    if (!console_.errIsTerminal()) {
        console_.err(work + "\n");
    }
}

void TerminalBar::finishLine() {
    if (drawn_) {
        console_.err("\n");
        drawn_ = false;
    }
}

void TerminalBar::showPosition(int32_t position) {
    if (work_.empty() || !console_.errIsTerminal()) {
        return;
    }
    const int64_t span = int64_t{model_.max()} - model_.min();
    const int64_t done = span > 0 ? (int64_t{position} - model_.min()) * 100 / span : 0;
    int width = console_.width() - static_cast<int>(work_.size()) - 10;
    width = width < 10 ? 10 : width > 50 ? 50 : width;
    const auto filled = static_cast<std::size_t>(done * width / 100);
    console_.err("\r" + work_ + " [" + std::string(filled, '#') +
                 std::string(static_cast<std::size_t>(width) - filled, '.') + "] " +
                 std::to_string(done) + "%");
    drawn_ = true;
}

void StatusLine::repaint() {
    if (text_ != painted_) {
        bar_.finishLine();
        console_.err(text_ + "\n");
        painted_ = text_;
    }
}

} // namespace console
