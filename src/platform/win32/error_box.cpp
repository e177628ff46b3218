#include "platform/win32/error_box.h"

#include <windows.h>

#include <exception>

#include "platform/form.h"

namespace platform::win32 {
namespace {

std::string errorBoxTitle;

} // namespace

void setErrorBoxTitle(const std::string& title) {
    errorBoxTitle = title;
}

void showErrorBox(const char* message) noexcept {
    const UINT style = MB_ICONSTOP | MB_OK | MB_TASKMODAL;
    try {
        MessageBoxA(nullptr, withPeriod(message).c_str(), errorBoxTitle.c_str(), style);
    } catch (...) {
        MessageBoxA(nullptr, message, errorBoxTitle.c_str(), style); // no room for the period
    }
}

void showCurrentException() noexcept {
    try {
        throw;
    } catch (const std::exception& error) {
        showErrorBox(error.what());
    } catch (...) {
        showErrorBox("");
    }
}

} // namespace platform::win32
