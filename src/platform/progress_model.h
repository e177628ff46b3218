// What a progress bar shows, kept by the program itself: the control is only told. The common
// controls of Windows 95 without Internet Explorer 3 (version 4.00) know 16-bit ranges only and
// cannot be asked for the position or the range, so nothing is ever read back from the control.
#pragma once

#include <cstdint>

#include "platform/controls.h"

namespace platform {

// The control as the model tells it what to show.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    // False when the control does not know 32-bit ranges.
    virtual bool showRange32(int32_t min, int32_t max) = 0;
    virtual void showRange16(uint16_t min, uint16_t max) = 0;
    virtual void showPosition(int32_t position) = 0;
};

// Range, position and step with the control's own rules: the position stays inside the range,
// and a step past the maximum starts over from the minimum side.
class ProgressModel {
public:
    explicit ProgressModel(ProgressDisplay& display);

    int32_t min() const { return min_; }
    int32_t max() const { return max_; }
    int32_t step() const { return step_; }
    int32_t position() const { return position_; }
    void setRange(int32_t min, int32_t max);
    void setStep(int32_t step) { step_ = step; }
    void setPosition(int32_t position);
    void stepIt();

    // A 16-bit control shows the position scaled into 0..Scaled16 when the range does not fit.
    static constexpr int32_t Scaled16 = 32767;

private:
    bool fits16() const;
    void showRange();
    void showPosition();

    ProgressDisplay& display_;
    bool wide_ = true;
    int32_t min_ = 0;
    int32_t max_ = 100;
    int32_t step_ = 10;
    int32_t position_ = 0;
};

// A progress bar of kind Base (a native control, a line on a terminal) whose range, position
// and step are its model's; the kind draws what the model tells it to show.
template <typename Base> class ModelledProgressBar : public Base, protected ProgressDisplay {
public:
    int32_t min() const override { return model_.min(); }
    int32_t max() const override { return model_.max(); }
    int32_t step() const override { return model_.step(); }
    int32_t position() const override { return model_.position(); }
    void setMin(int32_t value) override { model_.setRange(value, model_.max()); }
    void setMax(int32_t value) override { model_.setRange(model_.min(), value); }
    void setStep(int32_t value) override { model_.setStep(value); }
    void setPosition(int32_t value) override { model_.setPosition(value); }
    void stepIt() override { model_.stepIt(); }

protected:
    ModelledProgressBar() : model_(*this) {}

    ProgressModel model_;
};

} // namespace platform
