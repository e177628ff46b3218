// The main window as a whole: the mode decision of its creation handler, the branch each mode
// runs, what the button does in each mode, and the release of ASPI when it is destroyed.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "aspi/scsi.h"
#include "fake_window.h"
#include "own_file.h"
#include "package/firmware_area.h"
#include "package_slots.h"
#include "platform/fake/fake_controls.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "sim_drive.h"

namespace {

// The first bytes of the program's own first image slot, for one test.
class FirstSlotStart {
public:
    explicit FirstSlotStart(const std::string& bytes) { slots_.put(0, bytes.data(), bytes.size()); }

private:
    PackageSlots slots_;
};

struct Window : FakeWindow {
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    ownfile::OwnFile files{system};
    app::ProcessState state;
    std::unique_ptr<TFlashForm> flashForm;

    Window() { flashForm.reset(new TFlashForm(controls, {system, dialogs, files}, state)); }
};

TEST(FlashForm, TheFirstSixBytesOfTheFirstSlotChooseTheMode) {
    struct Case {
        std::string slotStart;
        uint8_t mode;
    } cases[] = {
        {"PELO01", 1},  {"PELO01\xff\xff", 1}, // whatever follows the marker
        {"PELO02", 0},                         // the sixth byte differs
        {"pelo01", 0},                         // lower case
        {"PELO0", 0},                          // five characters, then the zero after them
        {"XPELO01", 0},                        // shifted by one byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slotStart);
        FirstSlotStart slot(c.slotStart + std::string(8 - c.slotStart.size(), '\0'));
        Window w;
        w.system.platformIdValue = 2; // flasher mode stops at its first step
        w.state.ModeFlag = 0xFF;
        w.flashForm->FormCreate();
        EXPECT_EQ(c.mode, w.state.ModeFlag);
        if (c.mode == 1) {
            // Builder mode: no system check, no warning, no ASPI.
            EXPECT_TRUE(w.dialogs.shown.empty());
            EXPECT_EQ("Quorven-Tek  Flash utility   V1.015  KXD-7316 [Buiding]", w.window.text);
            EXPECT_FALSE(w.combo.shown);
            EXPECT_EQ("Build", w.button.text);
        } else {
            ASSERT_EQ(1u, w.dialogs.shown.size());
            EXPECT_EQ("O.S must be Win9X.", w.dialogs.shown[0].text);
            EXPECT_EQ(1, w.system.quitRequests);
        }
        EXPECT_TRUE(w.system.loadedLibraries.empty());
    }
}

TEST(FlashForm, DestructionReleasesAspiOnlyWhenItWasLoaded) {
    FirstSlotStart flasher(std::string(8, '\x5A'));
    for (bool withLibrary : {true, false}) {
        SCOPED_TRACE(withLibrary);
        Window w;
        simdrive::Bus bus(w.system, simdrive::busWith({sim::DeviceSpec()}));
        if (!withLibrary) {
            w.system.unregisterLibrary("WNASPI32.DLL");
        }
        w.dialogs.answers = {platform::AnswerYes};
        w.flashForm->FormCreate();
        EXPECT_EQ(withLibrary ? 1 : 0, w.system.openLibraries);
        EXPECT_EQ(withLibrary ? 0 : 1, w.system.quitRequests);
        w.flashForm->FormDestroy();
        EXPECT_EQ(0, w.system.openLibraries);
    }
}

TEST(FlashForm, TheProcessStateNamesTheWindowWhileItExists) {
    Window w;
    EXPECT_EQ(w.flashForm.get(), w.state.FlashForm);
    w.flashForm.reset();
    EXPECT_EQ(nullptr, w.state.FlashForm);
}

TEST(FlashForm, TheButtonRunsTheFlashInFlasherMode) {
    FirstSlotStart flasher(std::string(8, '\x5A'));
    Window w;
    sim::DeviceSpec drive; // a KXD-7316 at 0:0, revision KV81
    simdrive::Bus bus(w.system, simdrive::busWith({drive}));
    w.dialogs.answers = {platform::AnswerYes, platform::AnswerNo};
    w.flashForm->FormCreate();
    ASSERT_EQ(0, w.state.ModeFlag);
    ASSERT_EQ(0, w.combo.index);

    w.flashForm->FlashButtonClick();
    ASSERT_EQ(2u, w.dialogs.shown.size());
    EXPECT_EQ("\nUpdate FW:KV81 to FW:KV81 ?\n", w.dialogs.shown[1].text);
    w.flashForm->FormDestroy();
}

// A press that arrives while a flash runs (from the message loop of one of its boxes) starts
// nothing; after a drive left a request unanswered the button stays disabled, after any other
// failure it stays enabled.
TEST(FlashForm, OneRunAtATimeAndADriveThatStoppedAnsweringIsLeftAlone) {
    FirstSlotStart flasher(std::string(8, '\x5A'));
    struct Row {
        const char* what;
        bool hang; // the seventh block is never answered; otherwise it fails with sense data
        bool enabledAfter;
    };
    for (const Row& row : {Row{"a block never answered", true, false},
                           Row{"a block fails with sense data", false, true}}) {
        SCOPED_TRACE(row.what);
        Window w;
        sim::Fault fault = simdrive::fault(scsi::WriteBuffer, 7);
        if (row.hang) {
            fault.never = true;
        } else {
            fault.senseKey = 0x04;
            fault.asc = 0x44;
        }
        simdrive::Bus bus(w.system, simdrive::busWith({simdrive::kxd()}, {fault}));
        w.dialogs.answers = {platform::AnswerYes};
        w.flashForm->FormCreate();
        int presses = 0;
        w.dialogs.onShow = [&](const platform::fake::ShownBox&) {
            ++presses;
            w.flashForm->FlashButtonClick();
        };
        w.flashForm->FlashButtonClick();
        EXPECT_EQ(2, presses); // the question and the failure's notice
        EXPECT_EQ(row.enabledAfter, w.button.isEnabled);
        int runs = 0;
        for (const sim::TraceEntry& e : bus.trace()) {
            runs += e.cdb[0] == scsi::StartStopUnit && e.cdb[4] == 3;
        }
        EXPECT_EQ(1, runs); // one run reached the drive
        w.flashForm->FormDestroy();
    }
}

} // namespace
