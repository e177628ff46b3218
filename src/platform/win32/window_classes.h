// Window classes of the program's windows. The test driver shares them so that it can tell the
// main window and the message boxes from other windows.
#pragma once

namespace platform::win32 {

inline constexpr const char* MainWindowClass = "TFlashForm";
inline constexpr const char* ApplicationWindowClass = "TApplication";
inline constexpr const char* MessageBoxClass = "TMessageForm";

} // namespace platform::win32
