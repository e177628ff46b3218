// Endurance, in one process under AddressSanitizer and LeakSanitizer (the host-asan preset, which
// alone registers it): the builder makes 1,000 flashers one after the other, then 200 flashes
// run in 20 starts of a flasher, a run of ten presses each, some with a request the drive
// answers late or never. A leak anywhere fails the process at its end; the memory the ASPI layer
// keeps for the requests it gave up stays within its bound all along.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "builder_fixture.h"
#include "flasher_session.h"

namespace {

using buildertest::Bytes;
using Strings = std::vector<std::string>;

constexpr int Flashers = 1000;
constexpr int Starts = 20;
constexpr int PressesPerStart = 10;

// A request a press meets that the drive does not answer in time: the command, the request of
// it in the press (from 1), and whether the answer comes a second late or never.
struct Hang {
    uint8_t opcode;
    int request;
    bool never;
    const char* notice; // what the user is told
};

const std::string Restart = ".\n\nDon't turn off the system. Restart it and run the flasher again.";
const Hang Hangs[] = {
    {scsi::WriteBuffer, 5, true,
     "The drive at HA#0 - ID#1 did not answer WRITE BUFFER in 30 seconds"},
    {scsi::ReadBuffer, 12, false,
     "The drive at HA#0 - ID#1 did not answer READ BUFFER in 10 seconds"},
    {scsi::TestUnitReady, 1, true,
     "The drive at HA#0 - ID#1 did not answer TEST UNIT READY in 10 seconds"},
    {scsi::StartStopUnit, 1, false,
     "The drive at HA#0 - ID#1 did not answer START STOP UNIT in 200 seconds"},
    {scsi::WriteBuffer, 17, true, "Flash timeout !"}, // the commit request
    {scsi::StartStopUnit, 2, true,
     "The drive at HA#0 - ID#1 did not answer START STOP UNIT in 60 seconds"},
    {scsi::WriteBuffer, 16, false,
     "The drive at HA#0 - ID#1 did not answer WRITE BUFFER in 30 seconds"},
    {scsi::ReadBuffer, 1, true,
     "The drive at HA#0 - ID#1 did not answer READ BUFFER in 10 seconds"},
    {scsi::WriteBuffer, 17, false, "Flash timeout !"},
};
// The presses of a start that meet a hang: three of ten.
bool hangs(int press) {
    return press == 1 || press == 4 || press == 7;
}

// How long each request of an operation may wait, to make it a second late.
int64_t lateBy(const Hang& hang) {
    switch (hang.opcode) {
    case scsi::TestUnitReady:
    case scsi::ReadBuffer:
        return 11000;
    case scsi::StartStopUnit:
        return hang.request == 1 ? 201000 : 61000;
    default:
        return hang.request == 17 ? 41000 - 3000 : 31000; // the commit takes its own 3 s
    }
}

TEST(Endurance, ThousandFlashersAndTwoHundredFlashes) {
    const auto began = std::chrono::steady_clock::now();

    // The builder: each flasher replaces the one before, and every file is closed again.
    {
        buildertest::BuilderWindow w;
        const Bytes head = buildertest::pattern(3000, 1);
        const Bytes templateBytes = buildertest::templateFile(head, buildertest::pattern(5000, 2));
        w.put("W9XKVXXXX.EXE", templateBytes);
        w.put("KV81.BIN", buildertest::image(81));
        w.put("KV05.BIN", buildertest::image(5));
        w.choose("KV81.BIN", "KV05.BIN");
        for (int i = 0; i < Flashers; ++i) {
            w.builder.FlashButtonClick();
            ASSERT_EQ("Build W9XKV8105.EXE ok!", w.frame.text) << "flasher " << i;
        }
        EXPECT_TRUE(w.dialogs.shown.empty());
        EXPECT_EQ(0, w.files.openFiles());
        EXPECT_TRUE(w.get("W9XKV8105.EXE") ==
                    buildertest::withImages(templateBytes, head.size() + 15, buildertest::image(81),
                                            buildertest::image(5)));
        EXPECT_EQ(Strings({"KV05.BIN", "KV81.BIN", "W9XKV8105.EXE", "W9XKVXXXX.EXE"}), w.listing());
    }
    const auto built = std::chrono::steady_clock::now();

    // The flashes. A layer keeps, for every request it gave up that is still pending, the
    // request's record and the block it names; nothing once the request has been answered.
    const size_t perPending = aspi::Layer::requestRecordBytes() + 16384;
    size_t peakRetained = 0;
    size_t peakPending = 0;
    int flashes = 0;
    int completed = 0;
    int hangsMet = 0;
    size_t hangIndex = 0;
    flashtest::PackageImages images;
    for (int start = 0; start < Starts; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        platform::fake::FakeSystem system;
        system.modulePathValue = "C:\\FLASH\\W9XKV8D1B.EXE";
        flashsession::Answers dialogs;
        simdrive::Bus bus(system, simdrive::busWith({simdrive::kxd("KV8C")}));
        flashsession::Flasher flasher(system, dialogs);
        ASSERT_TRUE(flasher.driveListed());
        size_t never = 0; // requests of this start that will never be answered
        for (int press = 0; press < PressesPerStart; ++press) {
            const size_t boxes = dialogs.shown.size();
            const Hang* hang = nullptr;
            if (hangs(press)) {
                hang = &Hangs[hangIndex++ % std::size(Hangs)];
                // The hang's request is the next press's `request`-th of its operation.
                const auto trace = bus.trace();
                int sent = 0;
                for (const auto& e : trace) {
                    sent += e.cdb[0] == hang->opcode ? 1 : 0;
                }
                sim::Fault f = simdrive::fault(hang->opcode, sent + hang->request);
                if (hang->never) {
                    f.never = true;
                } else {
                    f.delayMs = lateBy(*hang);
                }
                bus.inspect([&f](sim::Bus& b) {
                    b.addFault(f);
                    return 0;
                });
            }
            flasher.press();
            ++flashes;
            const Strings shown = [&] {
                Strings t;
                for (size_t i = boxes; i < dialogs.shown.size(); ++i) {
                    t.push_back(dialogs.shown[i].text);
                }
                return t;
            }();
            ASSERT_FALSE(shown.empty());
            if (hang != nullptr) {
                ++hangsMet;
                never += hang->never ? 1 : 0;
                const std::string notice = hang->request == 17 && hang->opcode == scsi::WriteBuffer
                                               ? std::string(hang->notice)
                                               : hang->notice + Restart;
                EXPECT_EQ(Strings({shown.front(), notice}), shown) << hang->notice;
            } else {
                EXPECT_EQ(Strings({shown.front(), flashsession::RebootQuestion}), shown);
                EXPECT_EQ(flashsession::Completed, flasher.frame.text);
                completed += 1;
            }
            aspi::Layer& layer = flasher.layer();
            // Late answers have come by the end of the next whole flash; those never answered
            // stay, each within its bound.
            EXPECT_LE(layer.retiredCount(), never + (hang != nullptr && !hang->never ? 1 : 0));
            EXPECT_LE(layer.retainedBytes(), layer.retiredCount() * perPending);
            peakRetained = std::max(peakRetained, layer.retainedBytes());
            peakPending = std::max(peakPending, layer.retiredCount());
        }
        EXPECT_EQ(never, flasher.layer().retiredCount());
        EXPECT_TRUE(bus.drive().firmware == images.zolk);
    }
    const auto ended = std::chrono::steady_clock::now();

    // At most three requests left unanswered in one run of the program, so at most three
    // records and blocks.
    EXPECT_EQ(Starts * PressesPerStart, flashes);
    EXPECT_LE(peakPending, 3u);
    EXPECT_LE(peakRetained, 3 * perPending);
    const auto ms = [](auto d) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    std::printf("endurance: %d flashers built in %lld ms; %d flashes (%d completed, %d met a "
                "request answered late or never) in %lld ms; at most %zu requests kept at once, "
                "%zu bytes (bound %zu a request: its %zu-byte record and a 16384-byte block)\n",
                Flashers, ms(built - began), flashes, completed, hangsMet, ms(ended - built),
                peakPending, peakRetained, perPending, aspi::Layer::requestRecordBytes());
}

} // namespace
