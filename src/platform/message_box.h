// The rules every message box follows, whatever draws it: caption and icon by kind, the
// buttons in a fixed order, which one is the default and which one Esc presses, and the
// text broken into lines no wider than half the screen.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace platform {

enum class BoxIcon { None, Exclamation, Stop, Question };

struct BoxStyle {
    std::string caption;
    BoxIcon icon;
};

BoxStyle boxStyle(BoxKind kind, const std::string& applicationTitle);

struct BoxButtons {
    std::vector<int> answers; // in the order "&Yes", "&No", "OK"
    int defaultAnswer;        // "OK" when present, else "&Yes", else the first
    int escapeAnswer;         // "&No" when present, else "OK" when present, else 0 (nothing)
};

BoxButtons boxButtons(unsigned buttons);

// "&Yes", "&No" or "OK".
const char* buttonText(int answer);

using TextWidth = std::function<int(const std::string&)>;

// Breaks at line feeds, then at blanks so that no line is wider than maxWidth; a word wider
// than maxWidth on its own is broken between characters.
std::vector<std::string> wrapText(const std::string& text, int maxWidth, const TextWidth& width);

} // namespace platform
