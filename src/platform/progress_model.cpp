#include "platform/progress_model.h"

namespace platform {

ProgressModel::ProgressModel(ProgressDisplay& display) : display_(display) {}

void ProgressModel::setRange(int32_t min, int32_t max) {
    min_ = min;
    max_ = max;
    position_ = position_ < min_ ? min_ : position_ > max_ ? max_ : position_;
    showRange();
    showPosition();
}

void ProgressModel::setPosition(int32_t position) {
    position_ = position < min_ ? min_ : position > max_ ? max_ : position;
    showPosition();
}

void ProgressModel::stepIt() {
    int64_t next = int64_t{position_} + step_;
    const int64_t span = int64_t{max_} - min_;
    if (span > 0 && next > max_) {
        next = (next - min_) % span + min_;
    } else if (span > 0 && next < min_) {
        next = (next - min_) % span + max_;
    }
    position_ = static_cast<int32_t>(next < min_ ? min_ : next > max_ ? max_ : next);
    showPosition();
}

bool ProgressModel::fits16() const {
    return min_ >= 0 && max_ <= Scaled16;
}

void ProgressModel::showRange() {
    if (wide_ && display_.showRange32(min_, max_)) {
        return;
    }
    wide_ = false;
    if (fits16()) {
        display_.showRange16(static_cast<uint16_t>(min_), static_cast<uint16_t>(max_));
    } else {
        display_.showRange16(0, static_cast<uint16_t>(Scaled16));
    }
}

void ProgressModel::showPosition() {
    if (wide_ || fits16()) {
        display_.showPosition(position_);
        return;
    }
    const int64_t span = int64_t{max_} - min_;
    display_.showPosition(
        span <= 0 ? 0 : static_cast<int32_t>((int64_t{position_} - min_) * Scaled16 / span));
}

} // namespace platform
