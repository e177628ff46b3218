#include "platform/posix/posix_console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

std::atomic<int> rule{static_cast<int>(InterruptRule::Note)};
std::atomic<int> noted{0};
const char* refused = "";

void writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t put = ::write(fd, data, length);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return; // a closed terminal: nobody to tell
        }
        data += put;
        length -= static_cast<std::size_t>(put);
    }
}

extern "C" void onSignal(int) {
    const int saved = errno;
    if (rule.load() == static_cast<int>(InterruptRule::Refuse)) {
        writeAll(STDERR_FILENO, refused, std::strlen(refused));
    } else {
        noted.fetch_add(1);
    }
    errno = saved;
}

} // namespace

void catchInterrupts(const char* refusedText) {
    refused = refusedText;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a read waiting for an answer ends
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr); // a closed pipe is a failed write, not the end
}

void setInterruptRule(InterruptRule value) {
    rule.store(static_cast<int>(value));
}

int interruptions() {
    return noted.load();
}

namespace posix {

void PosixConsole::out(const std::string& text) {
    writeAll(STDOUT_FILENO, text.data(), text.size());
}

void PosixConsole::err(const std::string& text) {
    writeAll(STDERR_FILENO, text.data(), text.size());
}

bool PosixConsole::errIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int PosixConsole::width() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

bool PosixConsole::inIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool PosixConsole::readLine(std::string& line) {
    line.clear();
    const int before = noted.load();
    for (;;) {
        char c;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR && noted.load() == before) {
            continue; // a refused interruption
        }
        if (got <= 0) {
            return got == 0 && !line.empty(); // a last line without its line end counts
        }
        if (c == '\n') {
            return true;
        }
        if (c != '\r') {
            line += c;
        }
    }
}

} // namespace posix
} // namespace platform
