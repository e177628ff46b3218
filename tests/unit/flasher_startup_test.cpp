// Flasher mode's start-up against the in-process simulated bus: the system check, the
// consent, the title, loading ASPI, and the scan of the six drive slots.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/flasher_startup.h"
#include "app/form_drive.h"
#include "own_file.h"
#include "platform/fake/fake_controls.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "sim_drive.h"

namespace {

using platform::BoxKind;

sim::DeviceSpec device(int hostAdapter, int target, const std::string& revision = "KV81",
                       const std::string& vendor = "QUORVEN ",
                       const std::string& product = "KXD-7316") {
    sim::DeviceSpec d;
    d.hostAdapter = static_cast<uint8_t>(hostAdapter);
    d.target = static_cast<uint8_t>(target);
    d.vendor = vendor;
    d.product = product;
    d.revision = revision;
    d.drive = vendor == "QUORVEN " && product == "KXD-7316";
    return d;
}

const std::string Warning =
    "\nWARNING:\n\nThis flash utility only supports KXD-7316 firmware:KV00~KV9Z\n\nWe recommend "
    "you close all applications in order to run this update!\nDon't turn off the system while "
    "the flash is in progress!\n\n\nDo you wish to continue?\n";
const std::string ReportHead =
    "\nERROR:\n\nCan't found KXD-7316firmware:KV00~KV9Z drive !\n\nThis flash utility only "
    "supports KXD-7316 firmware:KV00~KV9Z\n\nDetected drives:\n"
    "-----------------------------------------------------------\n";

struct Rig {
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    ownfile::OwnFile files{system};
    platform::fake::FakeMainWindow window;
    platform::fake::FakeLabel selectLabel2;
    platform::fake::FakeFileList list1, list2;
    platform::fake::FakeComboBox driveList;
    platform::fake::FakeProgressBar bar;
    platform::fake::FakeFrame frame;
    aspi::DriveData drives;
    platform::LibraryHandle library = 0;
    simdrive::Bus bus;
    std::unique_ptr<app::FormDrive> drive;

    explicit Rig(sim::Scenario scenario) : bus(system, std::move(scenario)) {
        drive.reset(new app::FormDrive(system, dialogs, bar, driveList, frame, drives));
        driveList.shown = false;
    }
    ~Rig() { drive.reset(); }

    void run() {
        app::FlasherStartup startup({window, selectLabel2, list1, list2, driveList, frame}, system,
                                    dialogs, files, *drive, drives, library);
        startup.run();
    }
    int commandsSent() { return static_cast<int>(bus.trace().size()); }
};

sim::Scenario bus(std::vector<sim::DeviceSpec> devices, uint8_t supportStatus = 1) {
    sim::Scenario s;
    s.devices = std::move(devices);
    s.supportStatus = supportStatus;
    return s;
}

TEST(FlasherStartup, RefusalsAndLoadFailuresEachShowOneBoxAndQuit) {
    struct Case {
        const char* name;
        unsigned long platformId;
        int consent;
        const char* library; // exports kept: "both", "send", "info", "none" (not loadable);
                             // or the program's own file "damaged", "missing"; or "second"
                             // flasher (another one runs)
        uint8_t supportStatus;
        std::vector<std::pair<BoxKind, std::string>> boxes;
        bool loaded;
        bool titled;
    } cases[] = {
        {"damaged flasher",
         1,
         6,
         "damaged",
         1,
         {{BoxKind::Notice, package::DamagedFlasherText}},
         false,
         false},
        {"own file unreadable",
         1,
         6,
         "missing",
         1,
         {{BoxKind::Notice, package::UnreadableFlasherText}},
         false,
         false},
        {"second flasher",
         1,
         6,
         "second",
         1,
         {{BoxKind::Notice, app::AnotherFlasherText}},
         false,
         false},
        {"NT refused", 2, 6, "both", 1, {{BoxKind::Warning, "O.S must be Win9X."}}, false, false},
        {"No to the warning", 1, 7, "both", 1, {{BoxKind::Warning, Warning}}, false, false},
        {"box closed", 0, 2, "both", 1, {{BoxKind::Warning, Warning}}, false, false},
        {"no library",
         1,
         6,
         "none",
         1,
         {{BoxKind::Warning, Warning}, {BoxKind::Notice, "Unable to load WNASPI32.DLL"}},
         false,
         true},
        {"no GetASPI32SupportInfo",
         1,
         6,
         "send",
         1,
         {{BoxKind::Warning, Warning}, {BoxKind::Notice, "Failed to lookup GetASPI32SupportInfo"}},
         true,
         true},
        {"no SendASPI32Command",
         1,
         6,
         "info",
         1,
         {{BoxKind::Warning, Warning}, {BoxKind::Notice, "Failed to lookup SendASPI32Command"}},
         true,
         true},
        {"ASPI not ready",
         1,
         6,
         "both",
         0xE8,
         {{BoxKind::Warning, Warning}, {BoxKind::Notice, "ASPI for Windows not available!"}},
         true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(bus({device(0, 0)}, c.supportStatus));
        rig.system.platformIdValue = c.platformId;
        rig.dialogs.answers = {c.consent};
        const std::string kind = c.library;
        void* info = reinterpret_cast<void*>(&sim::InProcessAspi::GetASPI32SupportInfo);
        void* send = reinterpret_cast<void*>(&sim::InProcessAspi::SendASPI32Command);
        if (kind == "none") {
            rig.system.unregisterLibrary("WNASPI32.DLL");
        } else if (kind == "send") {
            rig.system.registerLibrary("WNASPI32.DLL", {{"SendASPI32Command", send}});
        } else if (kind == "info") {
            rig.system.registerLibrary("WNASPI32.DLL", {{"GetASPI32SupportInfo", info}});
        } else if (kind == "damaged") {
            std::vector<unsigned char> file = ownfile::sealed(ownfile::peHead());
            file[0x300] ^= 1;
            rig.files.files[rig.system.modulePath()] = file;
        } else if (kind == "missing") {
            rig.files.present = false;
        } else if (kind == "second") {
            rig.system.mutexesElsewhere = {app::FlasherMutexName};
        }
        rig.run();

        ASSERT_EQ(c.boxes.size(), rig.dialogs.shown.size());
        for (size_t i = 0; i < c.boxes.size(); ++i) {
            EXPECT_EQ(c.boxes[i].first, rig.dialogs.shown[i].kind);
            EXPECT_EQ(c.boxes[i].second, rig.dialogs.shown[i].text);
        }
        const unsigned firstButtons =
            c.boxes[0].first == BoxKind::Notice
                ? unsigned{platform::ButtonOk}
                : platform::ButtonYes | (c.platformId == 2 ? 0u : unsigned{platform::ButtonNo});
        EXPECT_EQ(firstButtons, rig.dialogs.shown[0].buttons);
        EXPECT_EQ(1, rig.system.quitRequests);
        EXPECT_EQ(0, rig.system.quitCode);
        EXPECT_EQ(c.loaded, app::libraryLoaded(rig.library));
        EXPECT_EQ(c.titled, !rig.window.text.empty());
        // Refused before the controls of flasher mode were set: they keep their design state.
        EXPECT_EQ(!c.titled, rig.selectLabel2.shown);
        EXPECT_EQ(0, rig.commandsSent());
        if (!c.titled) {
            EXPECT_TRUE(rig.system.loadedLibraries.empty());
        }
        EXPECT_EQ(0, rig.files.openFiles());
    }
}

TEST(FlasherStartup, ScanListsSupportedDrivesInSlotOrder) {
    struct Case {
        const char* name;
        std::vector<sim::DeviceSpec> devices;
        std::vector<std::string> items;
        std::vector<int32_t> map;
    } cases[] = {
        {"slots 1 and 4",
         {device(0, 1, "KV81"), device(2, 0, "KV05")},
         {"HA#0 - ID#1 :  QUORVEN KXD-7316        KV81",
          "HA#2 - ID#0 :  QUORVEN KXD-7316        KV05"},
         {1, 4}},
        {"slot 5 among others",
         {device(0, 0, "1.00", "OTHERCO ", "HARD DISK 2000  "), device(2, 1, "KV9Z"),
          device(1, 0, "KVA1")},
         {"HA#2 - ID#1 :  QUORVEN KXD-7316        KV9Z"},
         {5}},
        {"every slot",
         {device(0, 0), device(0, 1), device(1, 0), device(1, 1), device(2, 0), device(2, 1)},
         {"HA#0 - ID#0 :  QUORVEN KXD-7316        KV81",
          "HA#0 - ID#1 :  QUORVEN KXD-7316        KV81",
          "HA#1 - ID#0 :  QUORVEN KXD-7316        KV81",
          "HA#1 - ID#1 :  QUORVEN KXD-7316        KV81",
          "HA#2 - ID#0 :  QUORVEN KXD-7316        KV81",
          "HA#2 - ID#1 :  QUORVEN KXD-7316        KV81"},
         {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(bus(c.devices));
        rig.system.modulePathValue = "C:\\FLASH\\W9XKV8105.EXE";
        rig.dialogs.answers = {platform::AnswerYes};
        rig.run();

        EXPECT_EQ(1u, rig.dialogs.shown.size()); // the warning only
        EXPECT_EQ(0, rig.system.quitRequests);
        EXPECT_EQ(c.items, rig.driveList.items);
        EXPECT_EQ(0, rig.driveList.index);
        for (size_t k = 0; k < c.map.size(); ++k) {
            EXPECT_EQ(c.map[k], rig.drives.ListMap[k]);
        }
        EXPECT_EQ("Quorven-Tek  Flash utility   V1.015  KXD-7316 [KV8105]", rig.window.text);
        EXPECT_FALSE(rig.selectLabel2.shown);
        EXPECT_FALSE(rig.list1.shown);
        EXPECT_FALSE(rig.list2.shown);
        EXPECT_TRUE(rig.driveList.shown);
        EXPECT_EQ(6, rig.commandsSent()); // every slot is asked, also after a find
        EXPECT_TRUE(app::libraryLoaded(rig.library));
    }
}

TEST(FlasherStartup, NothingFoundReportsEveryDeviceThatAnswered) {
    struct Case {
        const char* name;
        std::vector<sim::DeviceSpec> devices;
        std::string tail;
    } cases[] = {
        {"devices in slots 0 and 3",
         {device(0, 0, "1.00", "OTHERCO ", "HARD DISK 2000  "), device(1, 1, "KVA1")},
         "HA#0 - ID#0 :  OTHERCO HARD DISK 2000  1.00\n"
         "HA#1 - ID#1 :  QUORVEN KXD-7316        KVA1\n"},
        {"no device at all", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(bus(c.devices));
        rig.dialogs.answers = {platform::AnswerYes};
        rig.run();

        ASSERT_EQ(2u, rig.dialogs.shown.size());
        EXPECT_EQ(BoxKind::Error, rig.dialogs.shown[1].kind);
        EXPECT_EQ(unsigned{platform::ButtonOk}, rig.dialogs.shown[1].buttons);
        EXPECT_EQ(ReportHead + c.tail, rig.dialogs.shown[1].text);
        EXPECT_EQ(1, rig.system.quitRequests);
        EXPECT_TRUE(rig.driveList.items.empty());
        EXPECT_EQ(-1, rig.driveList.index);
    }
}

// A device that does not answer its INQUIRY at once: after a second the window shows under the
// hourglass with the slot it waits for, and the scan goes on to its end as before.
TEST(FlasherStartup, ASlowDeviceHasTheWindowShownWhileTheScanWaits) {
    struct Case {
        const char* name;
        int64_t delayMs; // -1: never answers
        bool shownEarly;
        int64_t scanMs;
    } cases[] = {
        {"every device answers at once", 0, false, 0},
        {"slot 1 answers after five seconds", 5000, true, 5000},
        {"slot 1 never answers", -1, true, 180000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Scenario scenario = bus({device(0, 1), device(1, 0, "KV05")});
        if (c.delayMs != 0) {
            sim::Fault slow = simdrive::fault(0x12, 1);
            slow.never = c.delayMs < 0;
            slow.delayMs = c.delayMs;
            scenario.faults = {slow};
        }
        Rig rig(scenario);
        rig.dialogs.answers = {platform::AnswerYes};
        rig.run();
        using Cursors = std::vector<platform::CursorShape>;
        const std::vector<std::string> waiting{"Waiting for the device at HA#0 - ID#1 to answer...",
                                               ""};
        const Cursors hourglass{platform::CursorShape::Hourglass, platform::CursorShape::Default};
        EXPECT_EQ(c.shownEarly, rig.window.shownEarly);
        EXPECT_EQ(c.shownEarly ? waiting : std::vector<std::string>{}, rig.frame.painted);
        EXPECT_EQ(c.shownEarly ? hourglass : Cursors{}, rig.system.cursorChanges);
        EXPECT_EQ(c.scanMs, rig.system.clock().now());
        EXPECT_EQ(c.delayMs < 0 ? 1u : 2u, rig.driveList.items.size());
    }
}

TEST(FlasherStartup, TitleShowsSixCharactersOfTheNameTail) {
    struct Case {
        std::string path, title;
    } cases[] = {
        {"C:\\FLASH\\W9XKV8D1B.EXE", " [KV8D1B]"},
        {"Z:\\tmp\\renamed-flasher.exe", " [lasher]"},
        {"C:\\A.EXE", " [C:\\A.E]"}, // shorter than ten: what there is, nothing beyond it
    };
    for (const Case& c : cases) {
        Rig rig(bus({device(0, 0)}));
        rig.system.modulePathValue = c.path;
        rig.dialogs.answers = {platform::AnswerYes};
        rig.run();
        EXPECT_EQ("Quorven-Tek  Flash utility   V1.015  KXD-7316" + c.title, rig.window.text);
    }
}

TEST(FlasherStartup, LibraryHandlesBelow32AreFailures) {
    EXPECT_FALSE(app::libraryLoaded(0));
    EXPECT_FALSE(app::libraryLoaded(2));
    EXPECT_FALSE(app::libraryLoaded(31));
    EXPECT_FALSE(app::libraryLoaded(-5));
    EXPECT_TRUE(app::libraryLoaded(32));
    EXPECT_TRUE(app::libraryLoaded(0x10000000));
}

} // namespace
