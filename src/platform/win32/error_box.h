// The error box: the system's message box in which the program shows an exception that no
// handler caught, with the application title as caption, the stop icon and "OK". No exception
// may unwind through the window system's frames (the i686 release unwinds by tables, which
// those frames do not have), so every entry point the system calls (window procedures,
// enumeration callbacks) runs its body through `caught`: an exception ends there, is shown,
// and the message loop goes on.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// The error box's caption: the application title, set with it.
void setErrorBoxTitle(const std::string& title);

// Shows the message with the period rule.
void showErrorBox(const char* message) noexcept;

// Shows the exception being handled (called in a catch block): its message, or no text for an
// exception that is no std::exception.
void showCurrentException() noexcept;

// body(), or `failed` when it throws; the exception is shown.
template <typename Result, typename Body> Result caught(Result failed, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        showCurrentException();
        return failed;
    }
}

// The window procedure the system calls for `procedure`: it runs through `caught`, and a message
// whose handling threw counts as handled (0).
template <LRESULT (*procedure)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return caught(LRESULT{0}, [&] { return procedure(hwnd, message, wParam, lParam); });
}

} // namespace platform::win32
