// The console over the standard streams on Linux.
#pragma once

#include "platform/console.h"

namespace platform::posix {

class PosixConsole : public Console {
public:
    void out(const std::string& text) override;
    void err(const std::string& text) override;
    bool errIsTerminal() override;
    int width() override;
    bool inIsTerminal() override;
    bool readLine(std::string& line) override;
};

} // namespace platform::posix
