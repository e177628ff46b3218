// A flasher as a user meets it, over the fake platform and the simulated drive: the main window
// made and created (the start-up warning answered Yes, the drive scan), the button pressed, the
// window destroyed. Shared by the drive fault matrix and the endurance run.
#pragma once

#include <memory>
#include <string>

#include "app/flash_form.h"
#include "fake_window.h"
#include "flash_test_rig.h"
#include "own_file.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"

namespace flashsession {

const std::string StartWarning =
    "\nWARNING:\n\nThis flash utility only supports KXD-7316 firmware:KV00~KV9Z\n\nWe recommend "
    "you close all applications in order to run this update!\nDon't turn off the system while "
    "the flash is in progress!\n\n\nDo you wish to continue?\n";
const std::string RebootQuestion =
    "\nYou have successfully completed\ninstallation! The new changes will not take effect\n"
    "until you reboot your system. Do you want to\nreboot your system now?\n\n";
const std::string InProgress = "Don't turn off the system, Flash is in progress...";
const std::string Completed = "Flash Completed.";
const std::string Failed = "Flash Fail.";

// Every box answered with its default button ("&Yes" to the warning and the update question,
// "OK" to a notice), except the restart question, which is answered "&No".
class Answers : public platform::fake::FakeDialogs {
public:
    int show(platform::BoxKind kind, const std::string& text, unsigned buttons) override {
        if (text == RebootQuestion) {
            answers.push_front(platform::AnswerNo);
        }
        return FakeDialogs::show(kind, text, buttons);
    }
};

// One start of a flasher: the window is made and its creation handler runs at once; it is
// destroyed (releasing ASPI) when this goes.
class Flasher : public FakeWindow {
public:
    Flasher(platform::fake::FakeSystem& system, platform::Dialogs& dialogs)
        : system_(system), files_(system),
          form_(new TFlashForm(controls, {system, dialogs, files_}, state_)) {
        form_->FormCreate();
    }
    // The program ends: the system lets go of what it held (its named mutex).
    ~Flasher() {
        form_->FormDestroy();
        form_.reset();
        system_.mutexesTaken.clear();
    }
    Flasher(const Flasher&) = delete;
    Flasher& operator=(const Flasher&) = delete;

    void press() { form_->FlashButtonClick(); }
    aspi::Layer& layer() { return form_->layer(); }
    // The drive list holds the drive, and the program has not asked to end.
    bool driveListed() const { return combo.items.size() == 1 && combo.index == 0; }

private:
    platform::fake::FakeSystem& system_;
    ownfile::OwnFile files_; // a flasher opens its own file only
    app::ProcessState state_;
    std::unique_ptr<TFlashForm> form_;
};

} // namespace flashsession
