// Modal message boxes, the only way the program talks to the user.
#pragma once

#include <string>

namespace platform {

enum class BoxKind {
    Notice,  // application title as caption, no icon
    Warning, // "Warning", exclamation icon
    Error,   // "Error", stop icon
    Confirm, // "Confirm", question icon
};

// Button sets are chosen per call from these three.
enum BoxButton : unsigned {
    ButtonYes = 1u,
    ButtonNo = 2u,
    ButtonOk = 4u,
};

// What a box returns: the pressed button's answer.
enum BoxAnswer : int {
    AnswerOk = 1,
    AnswerCancel = 2, // the box was closed without a button (only when it has no "&No")
    AnswerYes = 6,
    AnswerNo = 7,
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int show(BoxKind kind, const std::string& text, unsigned buttons) = 0;

    int notice(const std::string& text) { return show(BoxKind::Notice, text, ButtonOk); }
};

} // namespace platform
