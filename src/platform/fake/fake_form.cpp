#include "platform/fake/fake_form.h"

#include <stdexcept>
#include <string>

namespace platform::fake {
namespace {

template <typename Fake> std::unique_ptr<Control> captioned(const char* text) {
    auto fake = std::make_unique<Fake>();
    fake->text = text;
    return fake;
}

std::unique_ptr<Control> fakeOf(const LayoutEntry& entry) {
    switch (entry.kind) {
    case ControlKind::Label:
        return captioned<FakeLabel>(entry.text);
    case ControlKind::ComboBox:
        return std::make_unique<FakeComboBox>();
    case ControlKind::FileList:
        return std::make_unique<FakeFileList>();
    case ControlKind::Frame:
        return captioned<FakeFrame>(entry.text);
    case ControlKind::ProgressBar:
        return std::make_unique<FakeProgressBar>();
    case ControlKind::Button:
        break;
    }
    return captioned<FakeButton>(entry.text);
}

} // namespace

FakeForm::FakeForm(const FormLayout& layout) {
    for (std::size_t i = 0; i < layout.count; ++i) {
        controls_[layout.controls[i].id] = fakeOf(layout.controls[i]);
    }
}

Control& FakeForm::control(int id) {
    const auto found = controls_.find(id);
    if (found == controls_.end()) {
        throw std::out_of_range("No control " + std::to_string(id) + " in the window");
    }
    return *found->second;
}

} // namespace platform::fake
