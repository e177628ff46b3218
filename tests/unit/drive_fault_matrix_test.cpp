// The drive fault matrix: every command a flasher sends, every way a drive can fail it, at the
// command's first, a middle and its last request. Each row is a whole session on the fake clock
// against the simulated drive (the start-up, the presses of the button), checked for what the
// user sees (the boxes in order, the status line, the bar, the cursor) and what the drive gets
// (nothing after the failure), with the block buffer released, and followed by a press (or,
// after a start-up that found no drive, a new start) that works.
//
//   ctest --preset host -R DriveFaultMatrix -V     prints the table, a line per row.
#include <gtest/gtest.h>

#include <cstdio>

#include "flasher_session.h"
#include "platform/text_format.h"

namespace {

using flashsession::Completed;
using flashsession::Failed;
using flashsession::InProgress;
using flashsession::RebootQuestion;
using flashsession::StartWarning;
using Strings = std::vector<std::string>;

enum class Command { Inquiry, StartUnit, StopUnit, TestUnitReady, WriteBlock, ReadBlock, Commit };
enum class Fault { Sense, Status, Never, Late, InTime, Corrupt };
enum class When { First, Middle, Last };

// How a session ends: no drive found at start-up, the flash completed, ended before the
// transfer (nothing on screen changed), a data block failed, or the commit request failed.
enum class End { NotFound, Completed, Untouched, TransferFailed, CommitFailed };

struct CommandInfo {
    Command command;
    const char* name;
    uint8_t opcode;
    unsigned long limitMs;  // how long the program waits for it
    const char* statusText; // the notice for status E5h; null: none
    bool senseTold;         // a check condition is shown as "SenseCode: KK AA QQ"
    // First, middle and last: for INQUIRY the drive's place among the six slots of the scan;
    // for a command a run sends many times its request in the first run; for a command a run
    // sends once its request in the first, second or third run. As the simulated bus counts
    // them (per slot and operation code, from 1), and the run each one falls in.
    int occurrence[3];
    int run[3];
};

const CommandInfo Commands[] = {
    {Command::Inquiry, "INQUIRY", scsi::Inquiry, 180000, nullptr, false, {1, 1, 1}, {0, 0, 0}},
    {Command::StartUnit,
     "START STOP UNIT 3",
     scsi::StartStopUnit,
     200000,
     "StartStop-Unit Command Error: E5",
     false,
     {1, 3, 5},
     {1, 2, 3}},
    {Command::StopUnit,
     "START STOP UNIT 0",
     scsi::StartStopUnit,
     60000,
     "StartStop-Unit Command Error: E5",
     false,
     {2, 4, 6},
     {1, 2, 3}},
    {Command::TestUnitReady,
     "TEST UNIT READY",
     scsi::TestUnitReady,
     10000,
     "Command Error: E5",
     false,
     {1, 3, 5},
     {1, 1, 1}},
    {Command::WriteBlock,
     "WRITE BUFFER block",
     scsi::WriteBuffer,
     30000,
     "Write-Buf Command Error: E5",
     true,
     {1, 8, 16},
     {1, 1, 1}},
    {Command::ReadBlock,
     "READ BUFFER",
     scsi::ReadBuffer,
     10000,
     "Read-Buf Command Error: E5",
     true,
     {1, 8, 16},
     {1, 1, 1}},
    {Command::Commit,
     "WRITE BUFFER commit",
     scsi::WriteBuffer,
     40000,
     "Write-Buf Command Error: E5",
     true,
     {17, 34, 51},
     {1, 2, 3}},
};

// INQUIRY's first, middle and last request of the scan: the drive at slot 0, 2 or 5.
const int InquirySlot[3] = {0, 2, 5};
// The drive's commit request takes this long.
constexpr int64_t CommitMs = 3000;
// Until its fifth TEST UNIT READY of the session the drive reports "becoming ready".
constexpr int BecomingReadyPolls = 4;

struct Row {
    const CommandInfo* info;
    Fault fault;
    When when;
    int occurrence() const { return info->occurrence[static_cast<int>(when)]; }
    int run() const { return info->run[static_cast<int>(when)]; }
    bool timesOut() const { return fault == Fault::Never || fault == Fault::Late; }
};

const char* const FaultNames[] = {"sense", "status", "never", "late", "in time", "corrupt"};
const char* const WhenNames[] = {"first", "middle", "last"};
const char* const EndNames[] = {"no drive found", "completed", "ends, nothing changed",
                                "transfer failed", "commit failed"};

std::vector<Row> rows() {
    std::vector<Row> all;
    for (const CommandInfo& info : Commands) {
        for (Fault fault : {Fault::Sense, Fault::Status, Fault::Never, Fault::Late, Fault::InTime,
                            Fault::Corrupt}) {
            // Only a command that carries data can have it corrupted.
            const bool data = info.command == Command::Inquiry ||
                              info.command == Command::WriteBlock ||
                              info.command == Command::ReadBlock;
            if (fault == Fault::Corrupt && !data) {
                continue;
            }
            for (When when : {When::First, When::Middle, When::Last}) {
                all.push_back({&info, fault, when});
            }
        }
    }
    return all;
}

End endOf(const Row& row) {
    if (row.fault == Fault::InTime) {
        return End::Completed;
    }
    switch (row.info->command) {
    case Command::Inquiry:
        return End::NotFound;
    case Command::StartUnit:
    case Command::StopUnit:
    case Command::TestUnitReady:
        // Their complaints do not stop a run; a drive that does not answer does.
        return row.timesOut() ? End::Untouched : End::Completed;
    case Command::WriteBlock:
    case Command::ReadBlock:
        return End::TransferFailed;
    case Command::Commit:
        return End::CommitFailed;
    }
    return End::Completed;
}

// The drive, its place, and the faults: the row's own first (the first matching line applies),
// then the drive's becoming ready.
sim::Scenario scenarioFor(const Row& row, uint8_t hostAdapter, uint8_t target) {
    sim::DeviceSpec drive = simdrive::kxd("KV8C");
    drive.hostAdapter = hostAdapter;
    drive.target = target;
    drive.commitMs = CommitMs;
    sim::Fault f = simdrive::fault(row.info->opcode, row.occurrence());
    f.hostAdapter = hostAdapter;
    f.target = target;
    const int64_t extra = row.info->command == Command::Commit ? CommitMs : 0;
    switch (row.fault) {
    case Fault::Sense:
        f.senseKey = 0x04; // hardware error, internal target failure
        f.asc = 0x44;
        break;
    case Fault::Status:
        f.status = 0xE5;
        break;
    case Fault::Never:
        f.never = true;
        break;
    case Fault::Late: // a second after the program gave up
        f.delayMs = static_cast<int64_t>(row.info->limitMs) + 1000 - extra;
        break;
    case Fault::InTime: // a second before
        f.delayMs = static_cast<int64_t>(row.info->limitMs) - 1000 - extra;
        break;
    case Fault::Corrupt: // the first vendor byte of INQUIRY, a byte inside a block
        f.corruptOffset = row.info->command == Command::Inquiry ? 8 : 100;
        break;
    }
    std::vector<sim::Fault> faults{f};
    for (int poll = 1; poll <= BecomingReadyPolls; ++poll) {
        sim::Fault ready = simdrive::fault(scsi::TestUnitReady, poll);
        ready.hostAdapter = hostAdapter;
        ready.target = target;
        ready.senseKey = scsi::NotReady;
        ready.asc = scsi::LogicalUnitNotReady;
        ready.ascq = scsi::BecomingReady;
        faults.push_back(ready);
    }
    return simdrive::busWith({drive}, faults);
}

std::string noAnswer(int hostAdapter, int target, const char* command, unsigned long limitMs) {
    return platform::formatText("The drive at HA#%d - ID#%d did not answer %s in %u seconds.\n\n"
                                "Don't turn off the system. Restart it and run the flasher again.",
                                hostAdapter, target, command,
                                static_cast<unsigned>(limitMs / 1000));
}

// The notices of the failing press, between the update question and the restart question
// (none for INQUIRY, whose failure the start-up's report tells).
Strings failureNotices(const Row& row, int hostAdapter, int target) {
    const CommandInfo& info = *row.info;
    if (info.command == Command::Inquiry) {
        return {};
    }
    switch (row.fault) {
    case Fault::Sense:
        return info.senseTold ? Strings{"SenseCode: 04 44 00"} : Strings{};
    case Fault::Status:
        return info.statusText != nullptr ? Strings{info.statusText} : Strings{};
    case Fault::Never:
    case Fault::Late:
        if (info.command == Command::Commit) {
            return {"Flash timeout !"};
        }
        return {noAnswer(hostAdapter, target, scsi::commandName(info.opcode), info.limitMs)};
    case Fault::Corrupt:
        return {"Verify fail!"};
    case Fault::InTime:
        break;
    }
    return {};
}

// What the failing press sends, one word a request, runs folded.
std::string wordsOf(const Row& row) {
    const Command c = row.info->command;
    const int k = row.occurrence();
    const bool stops = row.fault != Fault::InTime;
    std::vector<std::string> words{"SSU3"};
    if (c == Command::StartUnit && row.timesOut()) {
        return flashtest::folded(words);
    }
    words.push_back("SSU0");
    if (c == Command::StopUnit && row.timesOut()) {
        return flashtest::folded(words);
    }
    // The drive is becoming ready during the first run's first four polls.
    int polls = row.run() == 1 ? BecomingReadyPolls + 1 : 1;
    if (c == Command::TestUnitReady) {
        // A complaint means "poll again"; an answer in time is the drive's own: tray empty.
        polls = row.fault == Fault::Sense || row.fault == Fault::Status
                    ? (k == BecomingReadyPolls + 1 ? k + 1 : BecomingReadyPolls + 1)
                    : k;
    }
    words.insert(words.end(), static_cast<size_t>(polls), "TUR");
    if (c == Command::TestUnitReady && row.timesOut()) {
        return flashtest::folded(words);
    }
    const bool writeFails = c == Command::WriteBlock && stops && row.fault != Fault::Corrupt;
    words.insert(words.end(), static_cast<size_t>(writeFails ? k : 16), "W");
    if (writeFails) {
        return flashtest::folded(words);
    }
    // A block stored wrongly, and any failed read, end the verify at that block.
    const bool readFails = (c == Command::WriteBlock && row.fault == Fault::Corrupt) ||
                           (c == Command::ReadBlock && stops);
    words.insert(words.end(), static_cast<size_t>(readFails ? k : 16), "R");
    if (!readFails) {
        words.push_back("COMMIT");
    }
    return flashtest::folded(words);
}

using flashtest::barOf;
using flashtest::BarState;

template <typename T> std::vector<T> since(const std::vector<T>& all, size_t first) {
    return std::vector<T>(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
}

// The shared fixture: the fake platform, the drive and its images for one row.
struct Session {
    flashtest::PackageImages images;
    platform::fake::FakeSystem system;
    flashsession::Answers dialogs;
    simdrive::Bus bus;
    Session(const sim::Scenario& scenario) : bus(system, scenario) {
        system.modulePathValue = "C:\\FLASH\\W9XKV8D1B.EXE"; // ZOL-K image, target KV8D
    }
    Strings boxesSince(size_t first) const {
        Strings texts;
        for (size_t i = first; i < dialogs.shown.size(); ++i) {
            texts.push_back(dialogs.shown[i].text);
        }
        return texts;
    }
    std::vector<sim::TraceEntry> trace() { return bus.trace(); }
};

// A notice on one line of the table.
std::string oneLine(const Strings& notices) {
    if (notices.empty()) {
        return "-";
    }
    std::string text;
    for (char c : notices.front()) {
        text += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return text;
}

TEST(DriveFaultMatrix, EveryCommandEveryFaultFirstMiddleLast) {
    const std::vector<Row> table = rows();
    ASSERT_GE(table.size(), 100u);
    std::printf("%-20s %-8s %-7s %-22s %-42s %s\n", "command", "fault", "request", "end",
                "sent by the failing press", "notices");
    for (const Row& row : table) {
        const CommandInfo& info = *row.info;
        SCOPED_TRACE(std::string(info.name) + ", " + FaultNames[static_cast<int>(row.fault)] +
                     ", " + WhenNames[static_cast<int>(row.when)]);
        const int slot =
            info.command == Command::Inquiry ? InquirySlot[static_cast<int>(row.when)] : 1;
        const uint8_t ha = static_cast<uint8_t>(slot / 2);
        const uint8_t target = static_cast<uint8_t>(slot % 2);
        Session s(scenarioFor(row, ha, target));
        const auto device = [&s, ha, target] {
            return s.bus.inspect([ha, target](sim::Bus& b) { return *b.device(ha, target); });
        };
        const End end = endOf(row);
        Strings notices = failureNotices(row, ha, target);
        std::string sent;

        auto flasher = std::make_unique<flashsession::Flasher>(s.system, s.dialogs);
        if (info.command == Command::Inquiry) {
            // The start-up is the failing part: the drive is listed, or the report tells
            // that none was found and the program ends.
            std::string report;
            if (end == End::NotFound) {
                report = "\nERROR:\n\nCan't found KXD-7316firmware:KV00~KV9Z drive !\n\nThis "
                         "flash utility only supports KXD-7316 firmware:KV00~KV9Z\n\nDetected "
                         "drives:\n-----------------------------------------------------------\n";
                if (row.fault == Fault::Corrupt) {
                    report += platform::formatText("HA#%d - ID#%d :  \xAEUORVEN KXD-7316        "
                                                   "KV8C\n",
                                                   int{ha}, int{target});
                }
            }
            EXPECT_EQ(end == End::NotFound ? Strings({StartWarning, report})
                                           : Strings{StartWarning},
                      s.boxesSince(0));
            sent = flashtest::commandWords(s.trace());
            EXPECT_EQ("INQ*6", sent); // every slot is tried
            if (end == End::NotFound) {
                notices = {row.fault == Fault::Corrupt
                               ? "error box listing the drive's altered text"
                               : "error box listing no drive"};
            }
            EXPECT_EQ(end == End::NotFound ? 1 : 0, s.system.quitRequests);
            EXPECT_EQ(end != End::NotFound, flasher->driveListed());
            if (row.timesOut()) {
                EXPECT_EQ(180000, s.system.clock().now()); // the event wait's limit
                EXPECT_EQ(1u, flasher->layer().retiredCount());
            }
            if (end == End::NotFound) {
                flasher.reset(); // the program ends; a new start works
                flasher = std::make_unique<flashsession::Flasher>(s.system, s.dialogs);
                EXPECT_TRUE(flasher->driveListed());
            }
        } else {
            ASSERT_TRUE(flasher->driveListed());
            // Earlier runs of the session complete.
            for (int run = 1; run < row.run(); ++run) {
                const size_t boxes = s.dialogs.shown.size();
                flasher->press();
                EXPECT_EQ(Strings({"\nUpdate FW:KV8C to FW:KV8D ?\n", RebootQuestion}),
                          s.boxesSince(boxes));
            }
            const size_t boxes = s.dialogs.shown.size();
            const size_t requests = s.trace().size();
            const size_t painted = flasher->frame.painted.size();
            const size_t cursor = s.system.cursorChanges.size();
            const BarState barBefore = barOf(flasher->bar);
            const std::string statusBefore = flasher->frame.text;
            const int commitsBefore = device().commits;

            flasher->press();

            Strings expectedBoxes{"\nUpdate FW:KV8C to FW:KV8D ?\n"};
            expectedBoxes.insert(expectedBoxes.end(), notices.begin(), notices.end());
            if (end == End::Completed) {
                expectedBoxes.push_back(RebootQuestion);
            }
            EXPECT_EQ(expectedBoxes, s.boxesSince(boxes));
            for (size_t i = boxes; i < s.dialogs.shown.size(); ++i) {
                const auto& box = s.dialogs.shown[i];
                EXPECT_EQ(i == boxes || box.text == RebootQuestion ? platform::BoxKind::Confirm
                                                                   : platform::BoxKind::Notice,
                          box.kind)
                    << box.text;
            }
            const auto trace = s.trace();
            sent = flashtest::commandWords(trace, requests);
            EXPECT_EQ(wordsOf(row), sent); // nothing after the failure

            const Strings paints = since(flasher->frame.painted, painted);
            const auto cursorChanges = since(s.system.cursorChanges, cursor);
            const std::vector<platform::CursorShape> hourglass{platform::CursorShape::Hourglass,
                                                               platform::CursorShape::Default};
            switch (end) {
            case End::Completed:
                EXPECT_EQ(Strings({InProgress, Completed}), paints);
                EXPECT_EQ(flashtest::CommitFull, barOf(flasher->bar));
                EXPECT_EQ(hourglass, cursorChanges);
                break;
            case End::Untouched:
                EXPECT_EQ(Strings{}, paints);
                EXPECT_EQ(statusBefore, flasher->frame.text);
                EXPECT_EQ(barBefore, barOf(flasher->bar));
                EXPECT_EQ(hourglass, cursorChanges); // busy from the first command on
                break;
            case End::TransferFailed:
                EXPECT_EQ(Strings{InProgress}, paints);
                EXPECT_EQ(flashtest::TransferAtZero, barOf(flasher->bar));
                EXPECT_EQ(hourglass, cursorChanges);
                break;
            case End::CommitFailed:
                EXPECT_EQ(Strings({InProgress, Failed}), paints);
                EXPECT_EQ(flashtest::CommitAtZero, barOf(flasher->bar));
                EXPECT_EQ(hourglass, cursorChanges);
                break;
            case End::NotFound:
                break;
            }
            EXPECT_EQ(platform::CursorShape::Default, s.system.cursor);
            EXPECT_EQ(0, s.system.quitRequests);
            // A drive that left a request unanswered gets no further press from the window.
            EXPECT_EQ(!row.timesOut(), flasher->button.isEnabled);
            // The drive takes the image only from a commit request that it carries out (one
            // that completes late has been carried out as well).
            const bool taken = end == End::Completed ||
                               (info.command == Command::Commit && row.fault == Fault::Late);
            EXPECT_EQ(commitsBefore + (taken ? 1 : 0), device().commits);

            // A request not answered in time: given up at its limit and left to the layer,
            // with the block buffer it names released by the run but kept by the layer.
            aspi::Layer& layer = flasher->layer();
            const bool namesBlock = info.command == Command::WriteBlock ||
                                    info.command == Command::ReadBlock ||
                                    info.command == Command::Commit;
            if (row.timesOut()) {
                ASSERT_FALSE(trace.empty());
                EXPECT_EQ(info.opcode, trace.back().cdb[0]);
                EXPECT_FALSE(trace.back().completed);
                const int64_t waited = s.system.clock().now() - trace.back().submitted;
                EXPECT_GE(waited, static_cast<int64_t>(info.limitMs));
                EXPECT_LE(waited, static_cast<int64_t>(info.limitMs) + 30); // one readiness pause
                EXPECT_EQ(1u, layer.retiredCount());
                EXPECT_EQ(aspi::Layer::requestRecordBytes() + (namesBlock ? 16384u : 0u),
                          layer.retainedBytes());
            } else {
                EXPECT_EQ(0u, layer.retiredCount());
            }
            EXPECT_EQ(row.timesOut() && namesBlock ? 1u : 0u, layer.heldBuffers());
        }

        // The next press works: a whole flash, the image in the drive.
        const size_t boxes = s.dialogs.shown.size();
        const size_t requests = s.trace().size();
        const int commitsBefore = device().commits;
        flasher->press();
        EXPECT_EQ(Strings({"\nUpdate FW:KV8C to FW:KV8D ?\n", RebootQuestion}),
                  s.boxesSince(boxes));
        const std::string again = flashtest::commandWords(s.trace(), requests);
        EXPECT_EQ(0u, again.find("SSU3, SSU0, TUR")) << again;
        EXPECT_EQ(again.size() - 18, again.rfind("W*16, R*16, COMMIT")) << again;
        EXPECT_EQ(Completed, flasher->frame.text);
        EXPECT_EQ(flashtest::CommitFull, barOf(flasher->bar));
        const sim::DeviceState after = device();
        EXPECT_EQ(commitsBefore + 1, after.commits);
        EXPECT_TRUE(after.firmware == s.images.zolk);
        // A late answer has come meanwhile and its request is gone; one never answered stays.
        const bool stillPending = row.fault == Fault::Never && info.command != Command::Inquiry;
        EXPECT_EQ(stillPending ? 1u : 0u, flasher->layer().retiredCount());
        // A healthy poll sleeps not at all: the only sleeps are the readiness pauses, the commit
        // request's seconds, and the rests of a poll past a quick answer's time (a hung or a
        // slow request, and START STOP UNIT, whose poll rests from the start).
        for (unsigned long ms : s.system.sleeps) {
            EXPECT_TRUE(ms == 30 || ms == 1000 ||
                        (ms == aspi::Layer::HungPollMs &&
                         (row.fault == Fault::Never || row.fault == Fault::Late ||
                          row.fault == Fault::InTime)))
                << ms;
        }

        std::printf("%-20s %-8s %-7s %-22s %-42s %s\n", info.name,
                    FaultNames[static_cast<int>(row.fault)], WhenNames[static_cast<int>(row.when)],
                    EndNames[static_cast<int>(end)], sent.c_str(), oneLine(notices).c_str());
    }
}

} // namespace
