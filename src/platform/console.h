// The console a command-line program talks through: results on the standard output, everything
// else on the standard error, answers read from the standard input, and the interruptions the
// user or the system sends (Ctrl-C, a closed terminal, a shutdown).
#pragma once

#include <memory>
#include <string>

namespace platform {

class Console {
public:
    virtual ~Console() = default;
    virtual void out(const std::string& text) = 0;
    virtual void err(const std::string& text) = 0;
    // The standard error is a terminal (a progress bar can be drawn in place), and its width.
    virtual bool errIsTerminal() = 0;
    virtual int width() = 0;
    // The standard input is a terminal that a person answers at.
    virtual bool inIsTerminal() = 0;
    // One line of the standard input, without its line end; false at its end, on a failure or
    // when an interruption came while it waited.
    virtual bool readLine(std::string& line) = 0;
};

// What an interruption does now; the program moves it along as its work changes. The handler
// itself only notes the interruption (and in Refuse says so at once).
enum class InterruptRule {
    Note,   // noted: the program looks at it where it can stop cleanly
    Refuse, // noted as refused: the work must not be broken off (a message says so)
};

// Installs the handlers (Ctrl-C, Ctrl-Break, SIGTERM, SIGHUP, a closed console window).
void catchInterrupts(const char* refusedText);
void setInterruptRule(InterruptRule rule);
// Interruptions noted since the start (refused ones not counted).
int interruptions();

// A path as it names the same file from any current directory, and a change of that directory.
std::string absolutePath(const std::string& path);
bool changeDirectory(const std::string& directory);

// One run per drive: a lock of the system's, held until it is destroyed or the process ends.
class RunLock {
public:
    virtual ~RunLock() = default;
};
// Takes the lock called `name`, noting `self` (what this run is) in it; null when another
// process holds it, and `holder` then says who does.
std::unique_ptr<RunLock> takeRunLock(const std::string& name, const std::string& self,
                                     std::string& holder);

} // namespace platform
