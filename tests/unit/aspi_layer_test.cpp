// The request block's layout and the layer's handling of blocks and buffers, against a
// hand-driven ASPI stand-in that completes requests only when the test says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <cstddef>
#include <cstring>
#include <thread>

#include "aspi/aspi_layer.h"
#include "platform/fake/fake_system.h"

namespace {

// The last block submitted; the test completes it by writing its status.
aspi::RequestBlock* submitted = nullptr;
int submissions = 0;

uint32_t supportInfo() {
    return 0x0102;
}
uint32_t send(void* block) {
    submitted = static_cast<aspi::RequestBlock*>(block);
    ++submissions;
    return 0;
}

struct LayerTest : ::testing::Test {
    platform::fake::FakeSystem system;
    aspi::Layer layer{system};
    void SetUp() override {
        submitted = nullptr;
        submissions = 0;
        layer.setEntryPoints(&supportInfo, &send);
    }
};

TEST(RequestBlock, HostLayoutIsThePacked64BitOne) {
    // The 32-bit layout is asserted where it is compiled (the i686 build); here the host's.
    EXPECT_EQ(92u, sizeof(aspi::RequestBlock));
    EXPECT_EQ(16u, offsetof(aspi::RequestBlock, SRB_BufPointer));
    EXPECT_EQ(28u, offsetof(aspi::RequestBlock, SRB_PostProc));
    EXPECT_EQ(60u, offsetof(aspi::RequestBlock, CDBByte));
    EXPECT_EQ(76u, offsetof(aspi::RequestBlock, SenseArea));
}

TEST(RequestBlock, BigEndianOffsets) {
    uint8_t bytes[3];
    const uint32_t values[] = {0, 16384, 245760, 0xFFFFFF};
    for (uint32_t v : values) {
        aspi::putBig24(bytes, v);
        EXPECT_EQ(v, aspi::getBig24(bytes));
    }
    aspi::putBig24(bytes, 245760);
    EXPECT_EQ(0x03, bytes[0]);
    EXPECT_EQ(0xC0, bytes[1]);
    EXPECT_EQ(0x00, bytes[2]);
}

TEST_F(LayerTest, EntryPointsAndSupportInformation) {
    EXPECT_TRUE(layer.hasEntryPoints());
    EXPECT_EQ(0x0102u, layer.supportInfo());
    aspi::Layer empty(system);
    EXPECT_FALSE(empty.hasEntryPoints());
    EXPECT_EQ(0u, empty.supportInfo());
    empty.setEntryPoints(static_cast<void*>(nullptr), nullptr);
    EXPECT_FALSE(empty.hasEntryPoints());
}

TEST_F(LayerTest, NewRequestIsZeroFilledWithTheCommandCode) {
    aspi::RequestBlock& block = layer.newRequest();
    std::memset(&block, 0xA5, sizeof block);
    aspi::RequestBlock& again = layer.newRequest();
    EXPECT_EQ(&block, &again); // no retirement, no new block
    aspi::RequestBlock expected;
    std::memset(&expected, 0, sizeof expected);
    expected.SRB_Cmd = 0x02;
    EXPECT_EQ(0, std::memcmp(&expected, &again, sizeof expected));
}

TEST_F(LayerTest, PollingSeesAStatusWrittenByAnotherThread) {
    layer.newRequest();
    std::thread completer;
    // The stand-in completes from its own thread right after the submission.
    static std::thread* worker;
    worker = &completer;
    layer.setEntryPoints(&supportInfo, [](void* b) -> uint32_t {
        *worker = std::thread(
            [](aspi::RequestBlock* block) {
                block->SenseArea[12] = 0x3A;
                aspi::storeStatus(*block, aspi::SS_ERR);
            },
            static_cast<aspi::RequestBlock*>(b));
        return 0;
    });
    EXPECT_EQ(aspi::SS_ERR, layer.executePolling(3600000, 3600000)); // an hour of slices at most
    completer.join();
    EXPECT_EQ(0x3A, layer.request().SenseArea[12]);
}

// Completes the submitted request at a given time of the fake clock, as ASPI's own thread would.
class CompletesAt : public platform::fake::FakeClock::Participant {
public:
    explicit CompletesAt(int64_t due) : due_(due) {}
    int64_t nextDue() override { return done_ || due_ < 0 ? -1 : due_; }
    void advancedTo(int64_t now) override {
        if (!done_ && due_ >= 0 && now >= due_ && submitted != nullptr) {
            aspi::storeStatus(*submitted, aspi::SS_COMP);
            done_ = true;
        }
    }

private:
    int64_t due_;
    bool done_ = false;
};

TEST_F(LayerTest, PollingGivesUpAtItsLimitAndRetiresTheRequest) {
    struct Row {
        const char* what;
        int64_t completesAt; // -1: never
        unsigned long limit;
        unsigned long quick;
        uint32_t tickBase;
        uint8_t status;
        int64_t clockAfter;
    };
    const Row rows[] = {
        {"completes before the limit", 500, 1000, 50, 0, aspi::SS_COMP, 500},
        {"completes at the limit", 1000, 1000, 50, 0, aspi::SS_COMP, 1000},
        {"completes at once", 30, 1000, 50, 0, aspi::SS_COMP, 30},
        {"never completes", -1, 1000, 50, 0, aspi::SS_PENDING, 1000},
        {"never completes, rests from the start", -1, 1000, 0, 0, aspi::SS_PENDING, 1000},
        {"never completes, the tick count wraps", -1, 1000, 50, 0xFFFFFF00u, aspi::SS_PENDING,
         1000},
        {"a limit of 0: one read", -1, 0, 50, 0, aspi::SS_PENDING, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::fake::FakeSystem own;
        own.tickBase = row.tickBase;
        aspi::Layer layer(own);
        layer.setEntryPoints(&supportInfo, &send);
        CompletesAt drive(row.completesAt);
        own.clock().addParticipant(&drive);
        aspi::RequestBlock& block = layer.newRequest();
        EXPECT_EQ(row.status, layer.executePolling(row.limit, row.quick));
        own.clock().removeParticipant(&drive);
        EXPECT_EQ(row.clockAfter, own.clock().now());
        // Between two reads a time slice is given up while an answer may still come at once;
        // past that the poll sleeps between reads.
        const int64_t yielding = std::min<int64_t>(row.clockAfter, row.quick);
        EXPECT_EQ(yielding / platform::fake::FakeSystem::TimeSliceMs, own.yields);
        EXPECT_EQ(std::vector<unsigned long>(
                      static_cast<std::size_t>((row.clockAfter - yielding) /
                                               static_cast<int64_t>(aspi::Layer::HungPollMs)),
                      aspi::Layer::HungPollMs),
                  own.sleeps);
        const bool retired = row.status == aspi::SS_PENDING;
        EXPECT_EQ(retired ? 1u : 0u, layer.retiredCount());
        EXPECT_EQ(retired ? aspi::Layer::requestRecordBytes() : 0u, layer.retainedBytes());
        // A retired block is never reused for the next command.
        EXPECT_EQ(!retired, &block == &layer.newRequest());
        if (retired) {
            aspi::storeStatus(block, aspi::SS_COMP); // a late answer
            layer.newRequest();
            EXPECT_EQ(0u, layer.retiredCount());
        }
    }
}

TEST_F(LayerTest, AbandonedRequestIsNeitherReusedNorFreedUntilItCompletes) {
    aspi::RequestBlock& first = layer.newRequest();
    uint8_t* buffer = layer.allocateBuffer(100);
    first.SRB_BufPointer = buffer + 40; // a request may use part of a buffer
    first.SRB_BufLen = 10;
    layer.submit();
    ASSERT_EQ(&first, submitted);
    layer.abandon();
    EXPECT_EQ(1u, layer.retiredCount());

    aspi::RequestBlock& second = layer.newRequest();
    EXPECT_NE(&first, &second);
    layer.releaseBuffer(buffer);
    EXPECT_EQ(1u, layer.heldBuffers()); // still written by the pending request

    // A late write to the retired request is harmless (the sanitizers would see otherwise).
    std::memset(buffer + 40, 0x77, 10);
    aspi::storeStatus(first, aspi::SS_COMP);
    EXPECT_EQ(0u, aspi::loadStatus(second));
    layer.newRequest();
    EXPECT_EQ(0u, layer.retiredCount());
    EXPECT_EQ(0u, layer.heldBuffers());
}

TEST_F(LayerTest, BuffersNotUsedByAPendingRequestAreFreedAtOnce) {
    aspi::RequestBlock& pending = layer.newRequest();
    uint8_t* used = layer.allocateBuffer(64);
    uint8_t* other = layer.allocateBuffer(64);
    ASSERT_NE(nullptr, used);
    ASSERT_NE(nullptr, other);
    pending.SRB_BufPointer = used;
    pending.SRB_BufLen = 64;
    layer.abandon();
    layer.releaseBuffer(other);
    EXPECT_EQ(1u, layer.heldBuffers());
    layer.releaseBuffer(other); // a second release changes nothing
    layer.releaseBuffer(nullptr);
    EXPECT_EQ(1u, layer.heldBuffers());
    layer.releaseBuffer(used);
    EXPECT_EQ(1u, layer.heldBuffers());
    aspi::storeStatus(pending, aspi::SS_ERR);
    layer.releaseBuffer(nullptr); // any call into the layer reclaims
    EXPECT_EQ(0u, layer.heldBuffers());
}

TEST_F(LayerTest, ShutdownLeavesPendingRequestsAlone) {
    aspi::RequestBlock* pending;
    uint8_t* buffer;
    {
        aspi::Layer own(system);
        own.setEntryPoints(&supportInfo, &send);
        pending = &own.newRequest();
        buffer = own.allocateBuffer(32);
        pending->SRB_BufPointer = buffer;
        pending->SRB_BufLen = 32;
        own.submit();
        own.abandon();
    }
    // ASPI completes after the layer is gone: block and buffer are still there.
    std::memset(buffer, 1, 32);
    aspi::storeStatus(*pending, aspi::SS_COMP);
    EXPECT_EQ(aspi::SS_COMP, aspi::loadStatus(*pending));
}

TEST_F(LayerTest, EventWaitClosesItsEventOrKeepsItForAPendingRequest) {
    layer.newRequest();
    EXPECT_EQ(aspi::SS_PENDING, layer.executeWithEvent(5000));
    ASSERT_NE(nullptr, submitted);
    EXPECT_EQ(0x48, submitted->SRB_Flags);
    void* const post = submitted->SRB_PostProc; // packed: copied before gtest binds to it
    EXPECT_NE(nullptr, post);
    EXPECT_EQ(std::vector<unsigned long>{5000}, system.eventWaits);
    EXPECT_EQ(5000, system.clock().now());
    EXPECT_EQ(1, system.openEvents);
    EXPECT_EQ(1u, layer.retiredCount());
    // The late completion signals the event, which is still open.
    aspi::RequestBlock* late = submitted;
    aspi::storeStatus(*late, aspi::SS_COMP);
    platform::fake::signalEvent(late->SRB_PostProc);
    layer.newRequest();
    EXPECT_EQ(0, system.openEvents);
    EXPECT_EQ(0u, layer.retiredCount());
}

} // namespace
