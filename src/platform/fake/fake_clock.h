// Simulated time for unit tests: sleeps and event waits move the clock instead of waiting.
// Whatever completes work at given times (the simulated drive's bus) joins as a participant,
// so that the clock stops at each of its due times and lets it finish before going on.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform::fake {

class FakeClock {
public:
    class Participant {
    public:
        virtual ~Participant() = default;
        // The earliest time at which it has work, or -1 when it has none.
        virtual int64_t nextDue() = 0;
        // The clock moved to `now`: do everything due by then and return when done.
        virtual void advancedTo(int64_t now) = 0;
    };

    int64_t now() const;
    void addParticipant(Participant* participant);
    void removeParticipant(Participant* participant);

    // Moves to `deadline`, stopping at each participant's due time on the way; stops early
    // (returning true) as soon as `done` holds after a participant has run.
    template <typename Done> bool advanceUntil(int64_t deadline, Done done);
    void advanceBy(int64_t milliseconds) {
        advanceUntil(now() + milliseconds, [] { return false; });
    }

private:
    int64_t earliestDue();
    void moveTo(int64_t time);

    mutable std::mutex mutex_;
    int64_t now_ = 0;
    std::vector<Participant*> participants_;
};

template <typename Done> bool FakeClock::advanceUntil(int64_t deadline, Done done) {
    for (;;) {
        moveTo(now()); // let whatever is due now finish first
        if (done()) {
            return true;
        }
        const int64_t due = earliestDue();
        if (due < 0 || due > deadline) {
            break;
        }
        moveTo(due > now() ? due : now());
        if (done()) {
            return true;
        }
        if (due <= now() && earliestDue() == due) {
            break; // a participant that cannot make progress; do not spin
        }
    }
    moveTo(deadline > now() ? deadline : now());
    return done();
}

} // namespace platform::fake
