#include "platform/fake/fake_clock.h"

#include <algorithm>

namespace platform::fake {

int64_t FakeClock::now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

void FakeClock::addParticipant(Participant* participant) {
    std::lock_guard<std::mutex> lock(mutex_);
    participants_.push_back(participant);
}

void FakeClock::removeParticipant(Participant* participant) {
    std::lock_guard<std::mutex> lock(mutex_);
    participants_.erase(std::remove(participants_.begin(), participants_.end(), participant),
                        participants_.end());
}

int64_t FakeClock::earliestDue() {
    std::vector<Participant*> participants;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        participants = participants_;
    }
    int64_t earliest = -1;
    for (Participant* p : participants) {
        const int64_t due = p->nextDue();
        if (due >= 0 && (earliest < 0 || due < earliest)) {
            earliest = due;
        }
    }
    return earliest;
}

void FakeClock::moveTo(int64_t time) {
    std::vector<Participant*> participants;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now_ = time;
        participants = participants_;
    }
    for (Participant* p : participants) {
        p->advancedTo(time);
    }
}

} // namespace platform::fake
