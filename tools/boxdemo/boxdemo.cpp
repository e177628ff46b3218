// Shows one message box of each kind through the program's own dialog code, then a plain
// notice that lists the answers it got, so that a driver script can check both the boxes and
// what pressing their buttons returned.
#include <string>

#include "platform/win32/win32_dialogs.h"

int main() {
    platform::win32::Win32Dialogs dialogs("Box Demo");
    using platform::BoxKind;
    std::string answers;
    const auto ask = [&](BoxKind kind, const std::string& text, unsigned buttons) {
        const int answer = dialogs.show(kind, text, buttons);
        answers += (answers.empty() ? "" : " ") + std::to_string(answer);
    };
    ask(BoxKind::Notice, "A plain notice.", platform::ButtonOk);
    ask(BoxKind::Warning, "A warning that asks.\nSecond line after a line feed.",
        platform::ButtonYes | platform::ButtonNo);
    ask(BoxKind::Error,
        "An error whose text is long enough to be wrapped at half the width of the screen, "
        "so that the box shows it on more than one line.",
        platform::ButtonOk);
    ask(BoxKind::Confirm, "A confirmation?", platform::ButtonYes | platform::ButtonNo);
    ask(BoxKind::Warning, "Yes, no and OK together.",
        platform::ButtonYes | platform::ButtonNo | platform::ButtonOk);
    dialogs.notice("Answers: " + answers);
    return 0;
}
