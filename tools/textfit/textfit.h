// The measuring library of the driver's text-fit steps (tools/README.md): the block the driver
// writes into the program's process and hands to the library's entry point, which writes its
// findings back into the same block.
#pragma once

#include <windows.h>

namespace textfit {

inline constexpr const char* LibraryName = "textfit.dll";
inline constexpr const char* EntryPoint = "MeasureTexts"; // a thread routine taking a Request*
// Its exit code: 0 findings in the reply, 1 more findings than the reply holds, Failed an
// exception in the library, the reply its message.
inline constexpr unsigned long Failed = 2;

inline constexpr int MaxControls = 64;
inline constexpr int ReplySize = 32768;

struct Request {
    HWND window; // a top-level window of the program: its main window or a message box
    int count;   // controls named; 0: the window's title and every visible control of it
    HWND controls[MaxControls];
    // The findings, a line each: STATUS \t ID \t WHAT \t TEXT \t DETAIL. STATUS is "fits",
    // "cut", "busy" (the program's thread did not answer in time: ask again) or "bad" (a text
    // drawn by a kind of control the library has no rule for); ID is the control's identifier,
    // -1 for the window's title.
    char reply[ReplySize];
};

} // namespace textfit
