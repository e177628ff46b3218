#include "platform/fake/fake_dialogs.h"

#include "platform/message_box.h"

namespace platform::fake {

int FakeDialogs::show(BoxKind kind, const std::string& text, unsigned buttons) {
    int answer = boxButtons(buttons).defaultAnswer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    shown.push_back({kind, text, buttons, answer});
    if (onShow) {
        onShow(shown.back());
    }
    return answer;
}

} // namespace platform::fake
