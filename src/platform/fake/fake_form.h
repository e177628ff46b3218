// Test double of the window system's part in making the main window: a fake of each layout
// entry's kind, looked up by identifier the way the real window's controls are. Labels, frames
// and buttons start with their design captions, as the native ones do.
#pragma once

#include <map>
#include <memory>

#include "platform/fake/fake_controls.h"
#include "platform/form.h"

namespace platform::fake {

class FakeForm : public FormParts {
public:
    explicit FakeForm(const FormLayout& layout);

    FakeMainWindow& window() override { return window_; }
    Control& control(int id) override;

private:
    FakeMainWindow window_;
    std::map<int, std::unique_ptr<Control>> controls_;
};

} // namespace platform::fake
