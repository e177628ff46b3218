// The progress bar's own state and what the control is told: exact 32-bit values where the
// control knows them, the same progress in a 16-bit range where it answers nothing to the
// 32-bit messages (common controls 4.00).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/progress_model.h"

namespace {

class RecordingDisplay : public platform::ProgressDisplay {
public:
    explicit RecordingDisplay(bool wide) : wide_(wide) {}
    std::vector<std::string> calls;
    bool showRange32(int32_t min, int32_t max) override {
        if (wide_) {
            calls.push_back("range " + std::to_string(min) + " " + std::to_string(max));
        }
        return wide_;
    }
    void showRange16(uint16_t min, uint16_t max) override {
        calls.push_back("range " + std::to_string(min) + " " + std::to_string(max));
    }
    void showPosition(int32_t position) override {
        calls.push_back("pos " + std::to_string(position));
    }

private:
    bool wide_;
};

// A whole flash as the bar sees it: sixteen blocks, then the commit clock's forty ticks.
std::vector<std::string> flash(platform::ProgressModel& bar) {
    bar.setRange(0, 262144);
    bar.setStep(16384);
    bar.setPosition(0);
    std::vector<std::string> state;
    while (bar.position() < bar.max()) {
        bar.stepIt();
    }
    state.push_back(std::to_string(bar.position()));
    bar.setPosition(0);
    bar.setRange(0, 40);
    bar.setStep(1);
    while (bar.position() < bar.max()) {
        bar.stepIt();
    }
    state.push_back(std::to_string(bar.position()));
    return state;
}

TEST(ProgressModel, ShowsAFlashOnWideAndNarrowControls) {
    for (const bool wide : {true, false}) {
        RecordingDisplay display(wide);
        platform::ProgressModel bar(display);
        EXPECT_EQ(flash(bar), (std::vector<std::string>{"262144", "40"})) << wide;
        // The range as the control shows it, the third block's position, the end of the write
        // phase, and the clock's last tick.
        const std::string range = wide ? "range 0 262144" : "range 0 32767";
        const std::string third = wide ? "pos 49152" : "pos 6143"; // 3 * 32767 / 16
        const std::string full = wide ? "pos 262144" : "pos 32767";
        const auto& c = display.calls;
        EXPECT_EQ(c.front(), range) << wide;
        EXPECT_NE(std::find(c.begin(), c.end(), third), c.end()) << wide;
        EXPECT_NE(std::find(c.begin(), c.end(), full), c.end()) << wide;
        EXPECT_NE(std::find(c.begin(), c.end(), "range 0 40"), c.end()) << wide;
        EXPECT_EQ(c.back(), "pos 40") << wide;
    }
}

TEST(ProgressModel, KeepsThePositionInsideTheRangeAsTheControlDoes) {
    struct Row {
        int32_t min, max, start, step;
        bool stepping; // stepIt, else setPosition(start + step)
        int32_t expected;
    };
    const Row rows[] = {
        {0, 100, 90, 10, true, 100}, // up to the maximum
        {0, 100, 95, 10, true, 5},   // past it: starts over
        {10, 50, 45, 10, true, 15},
        {0, 100, 95, 10, false, 100}, // a set position is held at the maximum
        {0, 100, 5, -10, false, 0},   // and at the minimum
        {0, 0, 0, 5, true, 0},        // an empty range holds still
    };
    for (const Row& r : rows) {
        RecordingDisplay display(false);
        platform::ProgressModel bar(display);
        bar.setRange(r.min, r.max);
        bar.setPosition(r.start);
        bar.setStep(r.step);
        if (r.stepping) {
            bar.stepIt();
        } else {
            bar.setPosition(r.start + r.step);
        }
        EXPECT_EQ(bar.position(), r.expected) << r.min << ".." << r.max << " from " << r.start;
    }
}

} // namespace
