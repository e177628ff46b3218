// The flasher's button against the simulated drive: every way a run can end, what the drive
// received and holds afterwards, the order of the transfer set-up, and presses that follow
// an earlier run.
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include "flash_test_rig.h"

namespace {

using flashtest::DriveSetup;
using flashtest::fault;
using flashtest::Rig;
using platform::AnswerCancel;
using platform::AnswerNo;
using platform::AnswerYes;
using platform::BoxKind;
using platform::CursorShape;
using Strings = std::vector<std::string>;

const std::string InProgress = "Don't turn off the system, Flash is in progress...";
const std::string Completed = "Flash Completed.";
const std::string Failed = "Flash Fail.";
const std::string RebootText =
    "\nYou have successfully completed\ninstallation! The new changes will not take effect\n"
    "until you reboot your system. Do you want to\nreboot your system now?\n\n";
const std::string FullRun = "SSU3, SSU0, TUR, W*16, R*16, COMMIT";

std::string question(const std::string& current, const std::string& target) {
    return "\nUpdate FW:" + current + " to FW:" + target + " ?\n";
}
std::string warning(const std::string& current, const std::string& target) {
    return "\nWARNING:\n\nCurrent FW:" + current + " is newer than FW:" + target +
           ".\n\nContinue update FW:" + current + " to FW:" + target + " ?\n";
}

struct Box {
    BoxKind kind;
    std::string text;
    bool operator==(const Box& o) const { return kind == o.kind && text == o.text; }
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "kind " << static_cast<int>(b.kind) << " \"" << b.text << "\"";
}
Box confirm(const std::string& text) {
    return {BoxKind::Confirm, text};
}
Box warn(const std::string& text) {
    return {BoxKind::Warning, text};
}
Box notice(const std::string& text) {
    return {BoxKind::Notice, text};
}

using flashtest::BarState;
using flashtest::CommitAtZero;
using flashtest::CommitFull;
using flashtest::TransferAtZero;
const BarState Untouched{0, 100, 7, 37};        // as the rig sets it before the run
const BarState RangeOnly{0, 262144, 16384, 37}; // set-up begun, no block in hand

enum class Firmware { Unchanged, ZolK, NonZolK };

struct Scenario {
    std::string name;
    DriveSetup drive;
    std::string modulePath;
    std::deque<int> answers;
    std::vector<Box> boxes;
    std::string commands;
    BarState bar;
    Strings painted; // status line texts, each repainted at once
    std::vector<CursorShape> cursor;
    int quits;
    std::vector<unsigned> restarts;
    Firmware firmware;
    bool selected = true;
    bool noMemory = false;
    size_t heldBuffers = 0; // buffers the layer still holds once the run is over
};

const std::string Flasher = "C:\\FLASH\\W9XKV8D1B.EXE";
const std::vector<CursorShape> NoCursor{};
const std::vector<CursorShape> HourglassThenDefault{CursorShape::Hourglass, CursorShape::Default};

DriveSetup drive(const std::string& revision) {
    DriveSetup d;
    d.revision = revision;
    return d;
}
DriveSetup withFault(const std::string& revision, sim::Fault f) {
    DriveSetup d = drive(revision);
    d.faults.push_back(f);
    return d;
}
sim::Fault senseFault(int opcode, int occurrence, int key, int asc, int ascq) {
    sim::Fault f = fault(opcode, occurrence);
    f.senseKey = key;
    f.asc = asc;
    f.ascq = ascq;
    return f;
}

void PrintTo(const Scenario& scenario, std::ostream* os) {
    *os << scenario.name;
}

std::vector<Scenario> scenarios() {
    using namespace flashtest;
    std::vector<Scenario> s;
    // Revision, image and question.
    s.push_back({"ZolKImageCompletedNoRestart",
                 drive("KV8C"),
                 Flasher,
                 {AnswerYes, AnswerNo},
                 {confirm(question("KV8C", "KV8D")), confirm(RebootText)},
                 FullRun,
                 CommitFull,
                 {InProgress, Completed},
                 HourglassThenDefault,
                 0,
                 {},
                 Firmware::ZolK});
    s.push_back({"LowerFourthReadUpperCompletedRestart",
                 drive("KV1a"),
                 Flasher,
                 {AnswerYes, AnswerYes},
                 {confirm(question("KV1A", "KV1B")), confirm(RebootText)},
                 FullRun,
                 CommitAtZero,
                 {InProgress, Completed},
                 {CursorShape::Hourglass, CursorShape::Default, CursorShape::Default},
                 0,
                 {6},
                 Firmware::NonZolK});
    s.push_back({"NewerDriveWarnedYesFlashesOlder",
                 drive("KV1C"),
                 Flasher,
                 {AnswerYes, AnswerNo},
                 {warn(warning("KV1C", "KV1B")), confirm(RebootText)},
                 FullRun,
                 CommitFull,
                 {InProgress, Completed},
                 HourglassThenDefault,
                 0,
                 {},
                 Firmware::NonZolK});
    s.push_back({"EqualRevisionsConfirm",
                 drive("KV8D"),
                 Flasher,
                 {AnswerYes, AnswerNo},
                 {confirm(question("KV8D", "KV8D")), confirm(RebootText)},
                 FullRun,
                 CommitFull,
                 {InProgress, Completed},
                 HourglassThenDefault,
                 0,
                 {},
                 Firmware::ZolK});
    s.push_back({"LowerCaseInTargetSortsAfterUpper",
                 drive("KV8E"),
                 "C:\\FLASH\\W9Xkv8D1B.EXE",
                 {AnswerNo},
                 {confirm(question("KV8E", "kv8D"))},
                 "",
                 Untouched,
                 {},
                 NoCursor,
                 0,
                 {},
                 Firmware::Unchanged});
    s.push_back({"LowerCaseInDriveSortsAfterUpper",
                 drive("kV1A"),
                 Flasher,
                 {AnswerNo},
                 {warn(warning("kV1A", "KV1B"))},
                 "",
                 Untouched,
                 {},
                 NoCursor,
                 0,
                 {},
                 Firmware::Unchanged});
    s.push_back({"NonDigitThirdRefusedAndQuits",
                 drive("KVA1"),
                 Flasher,
                 {},
                 {notice("Nonsupport KV90~KVZZ drive !")},
                 "",
                 Untouched,
                 {},
                 NoCursor,
                 1,
                 {},
                 Firmware::Unchanged});
    s.push_back({"NoAtQuestion",
                 drive("KV8C"),
                 Flasher,
                 {AnswerNo},
                 {confirm(question("KV8C", "KV8D"))},
                 "",
                 Untouched,
                 {},
                 NoCursor,
                 0,
                 {},
                 Firmware::Unchanged});
    s.push_back({"QuestionClosed",
                 drive("KV1A"),
                 Flasher,
                 {AnswerCancel},
                 {confirm(question("KV1A", "KV1B"))},
                 "",
                 Untouched,
                 {},
                 NoCursor,
                 0,
                 {},
                 Firmware::Unchanged});
    // Drive preparation and readiness.
    {
        DriveSetup disc = drive("KV8C");
        disc.discPresent = true;
        s.push_back({"DiscPresent",
                     disc,
                     Flasher,
                     {AnswerYes},
                     {confirm(question("KV8C", "KV8D")),
                      notice("Remove disc, befor to do the flash task.")},
                     "SSU3, SSU0, TUR",
                     Untouched,
                     {},
                     HourglassThenDefault,
                     0,
                     {},
                     Firmware::Unchanged});
    }
    s.push_back({"NeverReadyAfter144Polls",
                 withFault("KV8C", senseFault(TestUnitReady, 0, scsi::NotReady,
                                              scsi::LogicalUnitNotReady, scsi::BecomingReady)),
                 Flasher,
                 {AnswerYes},
                 {confirm(question("KV8C", "KV8D"))},
                 "SSU3, SSU0, TUR*144",
                 Untouched,
                 {},
                 HourglassThenDefault,
                 0,
                 {},
                 Firmware::Unchanged});
    // Transfer failures.
    {
        sim::Fault corrupt = fault(Read, 6);
        corrupt.corruptOffset = 100;
        s.push_back({"DifferenceInSixthBlock",
                     withFault("KV8C", corrupt),
                     Flasher,
                     {AnswerYes},
                     {confirm(question("KV8C", "KV8D")), notice("Verify fail!")},
                     "SSU3, SSU0, TUR, W*16, R*6",
                     TransferAtZero,
                     {InProgress},
                     HourglassThenDefault,
                     0,
                     {},
                     Firmware::Unchanged});
    }
    s.push_back({"FailedWrite",
                 withFault("KV8C", senseFault(Write, 3, 0x03, 0x0C, 0x00)),
                 Flasher,
                 {AnswerYes},
                 {confirm(question("KV8C", "KV8D")), notice("SenseCode: 03 0C 00")},
                 "SSU3, SSU0, TUR, W*3",
                 TransferAtZero,
                 {InProgress},
                 HourglassThenDefault,
                 0,
                 {},
                 Firmware::Unchanged});
    {
        sim::Fault error = fault(Read, 2);
        error.status = 0xE5;
        s.push_back({"FailedRead",
                     withFault("KV1A", error),
                     Flasher,
                     {AnswerYes},
                     {confirm(question("KV1A", "KV1B")), notice("Read-Buf Command Error: E5")},
                     "SSU3, SSU0, TUR, W*16, R*2",
                     TransferAtZero,
                     {InProgress},
                     HourglassThenDefault,
                     0,
                     {},
                     Firmware::Unchanged});
    }
    // Commit.
    {
        sim::Fault never = fault(Write, 17);
        never.never = true;
        Scenario timeout{"CommitTimeout",
                         withFault("KV8C", never),
                         Flasher,
                         {AnswerYes},
                         {confirm(question("KV8C", "KV8D")), notice("Flash timeout !")},
                         FullRun,
                         CommitAtZero,
                         {InProgress, Failed},
                         HourglassThenDefault,
                         0,
                         {},
                         Firmware::Unchanged};
        timeout.heldBuffers = 1; // kept for the request that may still read it
        s.push_back(timeout);
    }
    s.push_back({"CommitFailedWithSense",
                 withFault("KV8C", senseFault(Write, 17, 0x04, 0x44, 0)),
                 Flasher,
                 {AnswerYes},
                 {confirm(question("KV8C", "KV8D")), notice("SenseCode: 04 44 00")},
                 FullRun,
                 CommitAtZero,
                 {InProgress, Failed},
                 HourglassThenDefault,
                 0,
                 {},
                 Firmware::Unchanged});
    // What this flasher decides for itself.
    {
        Scenario none{"NoCurrentItem",
                      drive("KV8C"),
                      Flasher,
                      {},
                      {notice(update::NoDriveSelectedText)},
                      "",
                      Untouched,
                      {},
                      NoCursor,
                      0,
                      {},
                      Firmware::Unchanged};
        none.selected = false;
        s.push_back(none);
    }
    s.push_back({"ModulePathWithoutNameTail",
                 drive("KV8C"),
                 "C:\\K.EXE",
                 {},
                 {notice(update::NoTargetRevisionText)},
                 "",
                 Untouched,
                 {},
                 NoCursor,
                 0,
                 {},
                 Firmware::Unchanged});
    {
        Scenario memory{"NoBlockBuffer",
                        drive("KV8C"),
                        Flasher,
                        {AnswerYes},
                        {confirm(question("KV8C", "KV8D")), notice(update::NoBlockBufferText)},
                        "SSU3, SSU0, TUR",
                        RangeOnly,
                        {},
                        HourglassThenDefault,
                        0,
                        {},
                        Firmware::Unchanged};
        memory.noMemory = true;
        s.push_back(memory);
    }
    return s;
}

class FlashRun : public testing::TestWithParam<Scenario> {};

TEST_P(FlashRun, EndsAsExpected) {
    const Scenario& sc = GetParam();
    Rig rig(sc.drive, sc.modulePath);
    rig.dialogs.answers = sc.answers;
    rig.procedure->noMemory = sc.noMemory;
    if (!sc.selected) {
        rig.comboBox1.index = -1; // typed into the edit field
    }
    rig.run();

    std::vector<Box> boxes;
    for (const auto& b : rig.dialogs.shown) {
        EXPECT_EQ(b.kind == BoxKind::Notice ? unsigned{platform::ButtonOk}
                                            : unsigned{platform::ButtonYes | platform::ButtonNo},
                  b.buttons)
            << b.text;
        boxes.push_back({b.kind, b.text});
        if (b.kind == BoxKind::Warning) {
            EXPECT_EQ(88u, b.text.size()); // shown whole
        }
    }
    EXPECT_EQ(sc.boxes, boxes);
    EXPECT_EQ(sc.commands, rig.commandWords());
    EXPECT_EQ(sc.bar, flashtest::barOf(rig.bar));
    EXPECT_EQ(sc.painted, rig.groupBox2.painted);
    EXPECT_EQ(sc.painted.empty() ? std::string() : sc.painted.back(), rig.groupBox2.text);
    EXPECT_EQ(sc.cursor, rig.system.cursorChanges);
    EXPECT_EQ(CursorShape::Default, rig.system.cursor);
    EXPECT_EQ(sc.quits, rig.system.quitRequests);
    if (sc.quits != 0) {
        EXPECT_EQ(0, rig.system.quitCode);
    }
    EXPECT_EQ(sc.restarts, rig.system.restartFlags);

    const sim::DeviceState d = rig.drive();
    switch (sc.firmware) {
    case Firmware::Unchanged:
        EXPECT_TRUE(d.firmware.empty());
        EXPECT_EQ(0, d.commits);
        break;
    case Firmware::ZolK:
        EXPECT_EQ(1, d.commits);
        EXPECT_TRUE(d.firmware == rig.images.zolk) << "the drive holds another image";
        break;
    case Firmware::NonZolK:
        EXPECT_EQ(1, d.commits);
        EXPECT_TRUE(d.firmware == rig.images.nonZolk) << "the drive holds another image";
        break;
    }
    // Obtained only once the drive is ready, and released once on every road.
    EXPECT_LE(rig.procedure->buffers.size(), 1u);
    EXPECT_EQ(sc.heldBuffers, rig.layer->heldBuffers());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FlashRun, testing::ValuesIn(scenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return info.param.name;
                         });

std::vector<uint8_t> cdbOf(const sim::TraceEntry& e) {
    return std::vector<uint8_t>(e.cdb, e.cdb + e.cdbLength);
}

// Every request of a completed run, byte for byte, and what the drive holds afterwards.
TEST(FlashProcedure, RequestsOfACompletedRun) {
    Rig rig(drive("KV1A"));
    rig.dialogs.answers = {AnswerYes, AnswerNo};
    rig.run();

    const auto trace = rig.runTrace();
    ASSERT_EQ(2u + 1u + 16u + 16u + 1u, trace.size());
    for (const auto& e : trace) {
        EXPECT_EQ(0, e.hostAdapter);
        EXPECT_EQ(1, e.target);
        EXPECT_EQ(12, e.cdbLength);
        EXPECT_EQ(0, e.flags);
    }
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ((Bytes{0x1B, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}), cdbOf(trace[0]));
    EXPECT_EQ((Bytes{0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), cdbOf(trace[1]));
    EXPECT_EQ(Bytes(12, 0), cdbOf(trace[2]));
    for (int k = 0; k < 16; ++k) {
        const uint32_t offset = 16384u * static_cast<uint32_t>(k);
        const auto o2 = static_cast<uint8_t>(offset >> 16), o1 = static_cast<uint8_t>(offset >> 8);
        SCOPED_TRACE("block " + std::to_string(k));
        EXPECT_EQ((Bytes{0x3B, 0x05, 0x01, o2, o1, 0, 0x00, 0x40, 0x00, 0x00, 0, 0}),
                  cdbOf(trace[3 + static_cast<size_t>(k)]));
        EXPECT_EQ(16384u, trace[3 + static_cast<size_t>(k)].dataLength);
        EXPECT_EQ((Bytes{0x3C, 0x01, 0x01, o2, o1, 0, 0x00, 0x40, 0x00, 0, 0, 0}),
                  cdbOf(trace[19 + static_cast<size_t>(k)]));
        EXPECT_EQ(16384u, trace[19 + static_cast<size_t>(k)].dataLength);
    }
    // The commit request: offset 0, one byte, the vendor bit in the control byte.
    EXPECT_EQ((Bytes{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 1, 0x80, 0, 0}), cdbOf(trace[35]));
    EXPECT_EQ(1u, trace[35].dataLength);

    const sim::DeviceState d = rig.drive();
    EXPECT_TRUE(d.download == rig.images.nonZolk);
    EXPECT_TRUE(d.firmware == rig.images.nonZolk);
    // One readiness poll, no sleep before it; the commit took three one-second ticks.
    EXPECT_EQ((std::vector<unsigned long>{1000, 1000, 1000}), rig.system.sleeps);
    EXPECT_EQ(0u, rig.layer->heldBuffers());
    EXPECT_EQ(0u, rig.layer->retiredCount());
}

// The transfer set-up and the commit change the bar, the buffer, the cursor and the status
// line in a fixed order; the drive commands read the bar as it stands.
TEST(FlashProcedure, OrderOfSetUpAndCommit) {
    Rig rig(drive("KV8C"));
    rig.dialogs.answers = {AnswerYes, AnswerNo};
    rig.run();
    // The hourglass from the first command on; set-up; sixteen blocks written; the verify phase
    // from 0; sixteen blocks read; the commit's settings; the drive command's clock (three seconds:
    // two ticks, then the bar is filled); the outcome. (The commit's "step 1" and the clock's first
    // "step 1" fold into one word.)
    EXPECT_EQ("hourglass, min 0, max 262144, step 16384, buffer 16384, paint " + InProgress +
                  ", pos 0, stepIt*16, pos 0, stepIt*16, pos 0, min 0, max 40, step 1*2, max 40, "
                  "pos 0, stepIt*2, pos 40, paint " +
                  Completed + ", default",
              flashtest::folded(rig.log));
}

// A commit request that timed out may still be touched by the layer: the block buffer stays
// held until it has completed, and a second press neither reuses it nor its request block.
TEST(FlashProcedure, SecondPressAfterCommitTimeout) {
    struct Row {
        const char* name;
        bool completesLater; // during the second run; otherwise never
        size_t heldAfterSecond;
    };
    const Row rows[] = {{"never completes", false, 1}, {"completes during the next run", true, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Fault late = fault(flashtest::Write, 17);
        if (row.completesLater) {
            late.delayMs = 38000; // plus the drive's 3000 ms: due one second after the clock
        } else {
            late.never = true;
        }
        Rig rig(withFault("KV8C", late));
        rig.dialogs.answers = {AnswerYes, platform::AnswerOk, AnswerYes, AnswerNo};
        rig.run();
        ASSERT_EQ("Flash timeout !", rig.dialogs.shown.back().text);
        ASSERT_EQ(1u, rig.layer->retiredCount());
        ASSERT_EQ(1u, rig.layer->heldBuffers());
        const sim::TraceEntry first = rig.runTrace().back();
        EXPECT_FALSE(first.completed);

        rig.run();
        EXPECT_EQ(Strings({question("KV8C", "KV8D"), "Flash timeout !", question("KV8C", "KV8D"),
                           RebootText}),
                  [&] {
                      Strings t;
                      for (const auto& b : rig.dialogs.shown) {
                          t.push_back(b.text);
                      }
                      return t;
                  }());
        ASSERT_EQ(2u, rig.procedure->buffers.size());
        EXPECT_NE(rig.procedure->buffers[0], rig.procedure->buffers[1]);
        EXPECT_EQ(Completed, rig.groupBox2.text);
        EXPECT_TRUE(rig.drive().firmware == rig.images.zolk);
        EXPECT_EQ(row.heldAfterSecond, rig.layer->heldBuffers());
        EXPECT_EQ(row.heldAfterSecond, rig.layer->retiredCount());
        EXPECT_EQ(row.completesLater, rig.runTrace()[35].completed);
    }
}

// A failure thrown in the middle of the write phase (by the layer, or by the program): the block
// buffer is still released, once, and the hourglass goes; the failure reaches the caller.
TEST(FlashProcedure, AFailureThrownMidTransferStillReleasesTheBlockBuffer) {
    Rig rig(drive("KV8C"));
    static int writes;
    writes = 0;
    rig.layer->setEntryPoints(&sim::InProcessAspi::GetASPI32SupportInfo,
                              [](void* block) -> uint32_t {
                                  const auto* request = static_cast<aspi::RequestBlock*>(block);
                                  if (request->CDBByte[0] == scsi::WriteBuffer && ++writes == 5) {
                                      throw std::runtime_error("the layer failed");
                                  }
                                  return sim::InProcessAspi::SendASPI32Command(block);
                              });
    rig.dialogs.answers = {AnswerYes};
    EXPECT_THROW(rig.run(), std::runtime_error);
    EXPECT_EQ("SSU3, SSU0, TUR, W*4", rig.commandWords());
    ASSERT_EQ(1u, rig.procedure->buffers.size());
    EXPECT_EQ(0u, rig.layer->heldBuffers());
    EXPECT_EQ(CursorShape::Default, rig.system.cursor);
}

// Once the disc is out, a new press starts again from the revision and the question.
TEST(FlashProcedure, PressAgainAfterDiscRemoved) {
    DriveSetup setup = drive("KV8C");
    setup.discPresent = true;
    Rig rig(setup);
    rig.dialogs.answers = {AnswerYes, platform::AnswerOk, AnswerYes, AnswerNo};
    rig.run();
    EXPECT_EQ("SSU3, SSU0, TUR", rig.commandWords());
    rig.changeDrive([](sim::DeviceState& d) { d.setup.discPresent = false; });
    rig.run();
    EXPECT_EQ("SSU3, SSU0, TUR, SSU3, SSU0, TUR, W*16, R*16, COMMIT", rig.commandWords());
    ASSERT_EQ(4u, rig.dialogs.shown.size());
    EXPECT_EQ(question("KV8C", "KV8D"), rig.dialogs.shown[2].text);
    EXPECT_TRUE(rig.drive().firmware == rig.images.zolk);
}

// Without a restart, the next press still compares the revision the drive reported at start-up.
TEST(FlashProcedure, PressAgainAfterCompletedWithoutRestart) {
    DriveSetup setup = drive("KV8C");
    setup.newRevision = "KV8D";
    Rig rig(setup);
    rig.dialogs.answers = {AnswerYes, AnswerNo, AnswerNo};
    rig.run();
    ASSERT_EQ(Completed, rig.groupBox2.text);
    rig.run();
    ASSERT_EQ(3u, rig.dialogs.shown.size());
    EXPECT_EQ(question("KV8C", "KV8D"), rig.dialogs.shown[2].text);
    // No at the question leaves the finished run's display alone.
    EXPECT_EQ(Completed, rig.groupBox2.text);
    EXPECT_EQ(40, rig.bar.pos);
    EXPECT_EQ(40, rig.bar.hi);
}

TEST(FlashRevisions, FromTheDescriptionText) {
    struct Row {
        const char* text;
        const char* revision;
    };
    const Row rows[] = {
        {"HA#0 - ID#1 :  QUORVEN KXD-7316        KV8c", "KV8C"},
        {"HA#0 - ID#1 :  QUORVEN KXD-7316        kv1a", "kv1A"},
        {"HA#0 - ID#1 :  QUORVEN KXD-7316        KV1", "KV1"},
        {"HA#0 - ID#1 :  QUORVEN KXD-7316        KV", "KV"},
        {"HA#0 - ID#1 :  QUORVEN", ""},
        {"HA#0 - ID#1 :  QUORVEN KXD-7316        KV1{", "KV1{"},
    };
    for (const Row& row : rows) {
        aspi::DriveSlot slot{0, 1, ""};
        std::snprintf(slot.Description, sizeof slot.Description, "%s", row.text);
        EXPECT_EQ(row.revision, update::currentRevision(slot)) << row.text;
    }
    // The text stops at its NUL even when older bytes follow it in the field.
    aspi::DriveSlot stale{0, 1, ""};
    std::snprintf(stale.Description, sizeof stale.Description, "%s",
                  "HA#0 - ID#1 :  QUORVEN KXD-7316        KV81");
    stale.Description[20] = '\0';
    EXPECT_EQ("", update::currentRevision(stale));
}

TEST(FlashRevisions, ComparedAsUnsignedBytes) {
    struct Row {
        const char* current;
        const char* target;
        int order;
    };
    const Row rows[] = {
        {"KV8C", "KV8D", -1}, {"KV1C", "KV1B", 1},    {"KV8D", "KV8D", 0}, {"KV8E", "kv8D", -1},
        {"kV1A", "KV1B", 1},  {"KV1\xE9", "KV1Z", 1}, {"KV1", "KV1A", -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.order, update::compareRevisions(row.current, row.target))
            << row.current << " " << row.target;
    }
    EXPECT_EQ("kv8A", update::withUpperFourth("kv8a"));
    EXPECT_EQ("KV8{", update::withUpperFourth("KV8{"));
    EXPECT_EQ("KV8\xE9", update::withUpperFourth("KV8\xE9"));
}

} // namespace
