// Test double of the message boxes: records every box and answers from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace platform::fake {

struct ShownBox {
    BoxKind kind;
    std::string text;
    unsigned buttons;
    int answer;
};

class FakeDialogs : public Dialogs {
public:
    // Answers for the next boxes, in order; when none is left a box is answered with its
    // default button.
    std::deque<int> answers;
    std::vector<ShownBox> shown;
    // Runs while a box is open (the moment the user would see it).
    std::function<void(const ShownBox&)> onShow;

    int show(BoxKind kind, const std::string& text, unsigned buttons) override;
};

} // namespace platform::fake
