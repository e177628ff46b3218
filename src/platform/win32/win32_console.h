// The console over the standard handles on Windows 2000 and later.
#pragma once

#include "platform/console.h"

namespace platform::win32 {

class Win32Console : public Console {
public:
    void out(const std::string& text) override;
    void err(const std::string& text) override;
    bool errIsTerminal() override;
    int width() override;
    bool inIsTerminal() override;
    bool readLine(std::string& line) override;
};

} // namespace platform::win32
