// The driver's side of the text-fit steps: the measuring library (tools/textfit) loaded into the
// program's process, its entry point run there on one of the program's windows, and the
// findings read back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace driver {

struct TextFinding {
    std::string status; // "fits", "cut", "busy" or "bad"
    int id;             // the control's identifier, -1 for the title
    std::string what;
    std::string text;
    std::string detail;
};

// The title and every visible control of `window` when `controls` is empty, else those
// controls. Throws Failure when the library cannot be loaded or run in the program.
std::vector<TextFinding> measureTexts(const PROCESS_INFORMATION& program, HWND window,
                                      const std::vector<HWND>& controls);

// A finding as the driver's log shows it, with the control's name in the main window.
std::string describeFinding(const TextFinding& finding, HWND window);

} // namespace driver
