// The program's message box: one window class of its own, because the system's box cannot
// choose "&Yes", "&No" and "OK" freely, nor make "OK" the default beside "&Yes".
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace platform::win32 {

class Win32Dialogs : public Dialogs {
public:
    // The title captions plain notices.
    explicit Win32Dialogs(std::string applicationTitle)
        : applicationTitle_(std::move(applicationTitle)) {}

    void setApplicationTitle(const std::string& title) { applicationTitle_ = title; }

    // Modal: the program's other windows are disabled while it is open and its own loop
    // dispatches their messages. A quit request taken meanwhile closes it with AnswerCancel
    // and is posted again.
    int show(BoxKind kind, const std::string& text, unsigned buttons) override;

private:
    std::string applicationTitle_;
};

} // namespace platform::win32
