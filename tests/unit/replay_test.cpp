// Sessions recorded under Wine (tests/replay) replayed in-process: the flasher, answering its
// boxes as the recording's user did, shows the same boxes and sends the same requests (the bus
// trace, times aside); and a program that sends anything else is stopped at the first request
// that differs, with the request sent and the one recorded both named.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "aspi/scsi.h"
#include "aspi/session_trace.h"
#include "fake_window.h"
#include "own_file.h"
#include "package/firmware_area.h"
#include "package/unit_texts.h"
#include "package_slots.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "platform/message_box.h"
#include "sim_drive.h"

namespace {

const std::string Source = KXD_SOURCE_DIR;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines(const std::string& text, bool skipComments) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && !(skipComments && line[0] == '#')) {
            out.push_back(line);
        }
        at = end + 1;
    }
    return out;
}

// A text as the end-to-end driver writes it into its transcript.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : c == '"' ? std::string("\\\"") : std::string(1, c);
    }
    return out + "\"";
}

std::vector<std::string> transcriptOf(const std::vector<platform::fake::ShownBox>& boxes) {
    std::vector<std::string> out;
    for (const auto& box : boxes) {
        std::string line = "box " +
                           quoted(platform::boxStyle(box.kind, texts::ApplicationTitle).caption) +
                           " " + quoted(box.text);
        for (int answer : platform::boxButtons(box.buttons).answers) {
            line += " " + quoted(platform::buttonText(answer));
        }
        out.push_back(line);
        out.push_back("answer " + quoted(platform::buttonText(box.answer)));
    }
    return out;
}

// The bus trace, times aside; a simulated device's own account of a commit is no traffic of the
// bus (a replay has no device to commit).
std::vector<std::string> withoutTimes(const std::vector<std::string>& trace) {
    static const std::regex times(" (t|due)=-?[0-9]+");
    std::vector<std::string> out;
    for (const std::string& line : trace) {
        if (line.compare(0, 7, "commit ") != 0) {
            out.push_back(std::regex_replace(line, times, " $1="));
        }
    }
    return out;
}

// The flasher the sessions were recorded with: the test images in both slots.
class RecordedFlasher {
public:
    RecordedFlasher() {
        const std::string zolk = readFile(Source + "/tests/e2e/builder_images/KV81.BIN");
        const std::string nonZolk = readFile(Source + "/tests/e2e/builder_images/KV05.BIN");
        slots_.put(0, zolk.data(), package::ImageSize);
        slots_.put(package::ImageSize, nonZolk.data(), package::ImageSize);
    }

private:
    PackageSlots slots_;
};

struct Replay : FakeWindow {
    explicit Replay(const std::string& session, bool timing = false)
        : tracePath(::testing::TempDir() + "replay-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt") {
        system.modulePathValue = "C:\\FLASH\\SESSKV8105.EXE";
        sim::Scenario scenario;
        scenario.replayPath = Source + "/tests/replay/" + session + "/KXDREC00.TXT";
        scenario.replayTiming = timing;
        scenario.tracePath = tracePath;
        bus.reset(new simdrive::Bus(system, scenario));
        form.reset(new TFlashForm(controls, {system, dialogs, files}, state));
    }
    std::vector<std::string> errors() {
        return bus->inspect([](sim::Bus& b) { return b.replayErrors(); });
    }

    RecordedFlasher flasher;
    std::string tracePath;
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    ownfile::OwnFile files{system};
    app::ProcessState state;
    std::unique_ptr<simdrive::Bus> bus;
    std::unique_ptr<TFlashForm> form;
};

TEST(Replay, ARecordedSessionReplaysToTheSameBoxesAndRequests) {
    for (const char* session :
         {"flash_completed", "verify_fail", "disc_present", "commit_timeout"}) {
        SCOPED_TRACE(session);
        const std::string kept = Source + "/tests/replay/" + session;
        const std::vector<std::string> transcript = lines(readFile(kept + "/transcript.txt"), true);
        Replay r(session);
        for (const std::string& line : transcript) {
            if (line.compare(0, 7, "answer ") == 0) {
                r.dialogs.answers.push_back(line == "answer \"&Yes\""  ? platform::AnswerYes
                                            : line == "answer \"&No\"" ? platform::AnswerNo
                                                                       : platform::AnswerOk);
            }
        }
        r.form->FormCreate();
        r.form->FlashButtonClick();
        EXPECT_EQ(transcriptOf(r.dialogs.shown), transcript);
        EXPECT_EQ(withoutTimes(lines(readFile(r.tracePath), false)),
                  withoutTimes(lines(readFile(kept + "/trace.txt"), false)));
        EXPECT_EQ(r.errors(), std::vector<std::string>());
    }
}

// The recorded requests sent again, straight to the bus: each is due as long after it was sent
// as it took when recorded.
TEST(Replay, OnRequestEachRequestTakesAsLongAsItDidWhenRecorded) {
    aspi::trace::Session session;
    std::string error;
    const std::string kept = Source + "/tests/replay/flash_completed/KXDREC00";
    const std::string side = readFile(kept + ".BIN");
    ASSERT_TRUE(aspi::trace::parse(readFile(kept + ".TXT"),
                                   std::vector<uint8_t>(side.begin(), side.end()), session, error))
        << error;
    struct NoEvents : sim::EventHost {
        void* holdEvent(void*) override { return nullptr; }
        void signalEvent(void*) override {}
        void releaseEvent(void*) override {}
    } events;
    sim::Scenario scenario;
    scenario.replayPath = kept + ".TXT";
    scenario.replayTiming = true;
    sim::Bus bus(scenario);
    std::vector<aspi::RequestBlock> blocks(session.requests.size());
    std::vector<std::vector<uint8_t>> buffers;
    int64_t now = 0;
    for (std::size_t i = 0; i < session.requests.size(); ++i) {
        const aspi::trace::Request& r = session.requests[i];
        aspi::RequestBlock& b = blocks[i];
        b.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        b.SRB_HaId = r.hostAdapter;
        b.SRB_Target = r.target;
        b.SRB_Flags = r.flags;
        b.SRB_BufLen = r.dataLength;
        b.SRB_CDBLen = static_cast<uint8_t>(r.cdb.size());
        std::copy(r.cdb.begin(), r.cdb.end(), b.CDBByte);
        buffers.push_back(r.dataOut.empty() ? std::vector<uint8_t>(r.dataLength) : r.dataOut);
        b.SRB_BufPointer = buffers.back().data();
        bus.submit(&b, now, events);
        now += 7;
    }
    ASSERT_EQ(bus.replayErrors(), std::vector<std::string>());
    for (std::size_t i = 0; i < session.requests.size(); ++i) {
        const aspi::trace::Request& recorded = session.requests[i];
        EXPECT_EQ(bus.trace()[i].due - bus.trace()[i].submitted,
                  recorded.completed - recorded.submitted)
            << i;
    }
}

// After the start-up's six INQUIRY requests, a changed program: one poll more, the blocks in
// another order, a byte of the image changed.
TEST(Replay, AChangedProgramIsStoppedAtTheFirstRequestThatDiffers) {
    struct Row {
        const char* change;
        int extraPolls;
        uint32_t firstOffset;
        bool changedByte;
        const char* sent;     // the request sent, as the message names it
        const char* recorded; // and the one recorded
    };
    const Row rows[] = {
        {"one poll more", 1, 0, false, "#10 0:1 flags 00 cdb 00 00 00 00 00 00 00 00 00 00 00 00",
         "#10 0:1 flags 00 cdb 3B 05 01 00 00 00 00 40 00 00 00 00"},
        {"another block first", 0, 16384, false,
         "#10 0:1 flags 00 cdb 3B 05 01 00 40 00 00 40 00 00 00 00",
         "#10 0:1 flags 00 cdb 3B 05 01 00 00 00 00 40 00 00 00 00"},
        {"one byte of the image changed", 0, 0, true,
         "#10 0:1 flags 00 cdb 3B 05 01 00 00 00 00 40 00 00 00 00, 16384 bytes out (CRC ",
         "#10 0:1 flags 00 cdb 3B 05 01 00 00 00 00 40 00 00 00 00, 16384 bytes out (CRC "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        Replay r("flash_completed");
        aspi::Layer layer(r.system);
        r.bus->connect(layer);
        aspi::DriveData drives;
        aspi::DriveCommands commands(layer, r.system, r.dialogs, drives);
        for (aspi::DriveSlot& slot : drives.SlotTable) {
            commands.CheckInquiry(&slot);
        }
        aspi::DriveSlot* drive = &drives.SlotTable[1];
        commands.StartStopUnit(drive, 3);
        commands.StartStopUnit(drive, 0);
        for (int poll = 0; poll <= row.extraPolls; ++poll) {
            commands.XCmd(drive);
        }
        std::vector<uint8_t> block(package::zolkImage() + row.firstOffset,
                                   package::zolkImage() + row.firstOffset + 16384);
        block[100] ^= row.changedByte ? 0x01 : 0x00;
        EXPECT_EQ(commands.WriteBuffer(drive, row.firstOffset, block.data(), 16384, 0, nullptr), 0);
        const std::vector<std::string> errors = r.errors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(std::string("sent:     ") + row.sent), std::string::npos)
            << errors[0];
        EXPECT_NE(errors[0].find(std::string("recorded: ") + row.recorded), std::string::npos)
            << errors[0];
        // The program met a drive that refuses: the sense box of the failed write.
        EXPECT_EQ(r.dialogs.shown.back().text, "SenseCode: 05 20 00");
    }
}

} // namespace
