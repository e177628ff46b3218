// The driver: the program it started, its current window and box, the boxes seen and the
// transcript, and the steps of a script run against them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "script.h"
#include "window_access.h"

namespace driver {

class Driver {
public:
    Variables variables;
    std::string transcriptPath;

    ~Driver() { stopProgram(); }

    int runScript(const std::string& path);

private:
    // Program
    PROCESS_INFORMATION process_{};
    bool running_ = false;
    DWORD timeoutMs_ = 10000;
    HWND window_ = nullptr;
    HWND box_ = nullptr;
    std::string scriptName_;
    std::string hookLibrary_; // hooked into the programs started next (the `hook` step)
    HHOOK hook_ = nullptr;

    // Every box seen, in order, and what answered it.
    struct Seen {
        HWND window;
        Box box;
        std::string answer;
        bool open;
    };
    std::vector<Seen> seen_;
    std::vector<std::string> transcript_;

    // A program set aside while another one is started and worked (set-aside, take-back).
    struct Program {
        PROCESS_INFORMATION process;
        bool running;
        HWND window;
        HWND box;
        std::vector<Seen> seen;
    };
    std::vector<Program> aside_;
    void swapProgram(Program& other);

    void step(const Words& words);
    void hookProgram();
    void stopProgram();
    void releaseProgram();

    template <typename Check> void waitFor(const std::string& what, Check check);
    void poll();
    void record(const std::string& line);
    std::vector<HWND> topWindows();
    HWND findControl(const std::string& selector);
    HWND requireWindow();
    HWND requireBox();
    DWORD requireProcess();
    void postKey(HWND target, WORD code);
    // Waits until the program's thread takes messages again (a message sent to `window` has
    // been answered), so that what is posted next reaches it after the work that the last step
    // ended, not in its final moments.
    void settle(HWND window);
    void screenshot(const std::string& name);
};

template <typename Check> void Driver::waitFor(const std::string& what, Check check) {
    const DWORD start = GetTickCount();
    std::string last;
    for (;;) {
        poll();
        if (check(last)) {
            return;
        }
        if (GetTickCount() - start > timeoutMs_) {
            throw Failure("timed out after " + std::to_string(timeoutMs_) + " ms waiting for " +
                          what + (last.empty() ? "" : " (last seen: " + last + ")"));
        }
        Sleep(50);
    }
}

} // namespace driver
