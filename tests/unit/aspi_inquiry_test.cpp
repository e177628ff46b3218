// INQUIRY at a drive slot: the description text, the accepted identification list, and the
// event wait with its time limit.
#include <gtest/gtest.h>

#include <cstring>

#include "aspi_test_rig.h"

namespace {

using aspitest::busWith;
using aspitest::kxd;
using aspitest::Rig;

TEST(CheckInquiry, DescriptionTextAndAcceptance) {
    struct Row {
        const char* what;
        std::string vendor, product, revision;
        int result;
        std::string description;
    };
    const std::string nul(1, '\0');
    const Row rows[] = {
        {"supported", "QUORVEN ", "KXD-7316", "KV81", 1,
         "HA#0 - ID#1 :  QUORVEN KXD-7316        KV81"},
        {"KV1A", "QUORVEN ", "KXD-7316", "KV1A", 1, "HA#0 - ID#1 :  QUORVEN KXD-7316        KV1A"},
        {"KV9Z", "QUORVEN ", "KXD-7316", "KV9Z", 1, "HA#0 - ID#1 :  QUORVEN KXD-7316        KV9Z"},
        {"KVA1: third character no digit", "QUORVEN ", "KXD-7316", "KVA1", 0,
         "HA#0 - ID#1 :  QUORVEN KXD-7316        KVA1"},
        {"other revision family", "QUORVEN ", "KXD-7316", "XY81", 0,
         "HA#0 - ID#1 :  QUORVEN KXD-7316        XY81"},
        {"lower-case vendor", "quorven ", "KXD-7316", "KV81", 0,
         "HA#0 - ID#1 :  quorven KXD-7316        KV81"},
        {"other product", "QUORVEN ", "KXD-7317", "KV81", 0,
         "HA#0 - ID#1 :  QUORVEN KXD-7317        KV81"},
        {"other device", "SIMBUS  ", "FIXED DISK", "1.00", 0,
         "HA#0 - ID#1 :  SIMBUS  FIXED DISK      1.00"},
        // The reply ends at the NUL; the field is padded on the left to 28 characters.
        {"NUL inside the product", "QUORVEN ", "KXD" + nul + "7316", "KV81", 0,
         "HA#0 - ID#1 :  " + std::string(17, ' ') + "QUORVEN KXD"},
        {"NUL as first vendor byte", nul + "UORVEN ", "KXD-7316", "KV81", 0,
         "HA#0 - ID#1 :  " + std::string(28, ' ')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::DeviceSpec device = kxd(row.revision);
        device.vendor = row.vendor;
        device.product = row.product;
        Rig rig(busWith({device}));
        aspi::DriveSlot& slot = rig.drives.SlotTable[1];
        EXPECT_EQ(row.result, rig.commands->CheckInquiry(&slot));
        EXPECT_EQ(row.description, std::string(slot.Description));
        EXPECT_TRUE(rig.dialogs.shown.empty());
        EXPECT_EQ(0, rig.system.openEvents);
        EXPECT_EQ(0u, rig.layer->heldBuffers());
    }
}

TEST(CheckInquiry, TheLongestTextHasFortyThreeCharacters) {
    Rig rig(busWith({kxd()}));
    aspi::DriveSlot& slot = rig.drives.SlotTable[1];
    ASSERT_EQ(1, rig.commands->CheckInquiry(&slot));
    EXPECT_EQ(43u, std::strlen(slot.Description));
    EXPECT_EQ("KV81", std::string(slot.Description + 39, 4));
    EXPECT_EQ("QUORVEN ", std::string(slot.Description + 15, 8));
}

TEST(CheckInquiry, ScanOfAllSlots) {
    sim::DeviceSpec other = kxd();
    other.hostAdapter = 1;
    other.target = 1;
    other.drive = false;
    other.vendor = "SIMBUS";
    other.product = "FIXED DISK";
    other.revision = "1.00";
    sim::DeviceSpec drive = kxd("KV1A");
    drive.hostAdapter = 2;
    drive.target = 1;
    sim::Scenario scenario = busWith({other, drive});
    scenario.adapters = 2; // host adapter 2 does not exist
    Rig rig(scenario);
    int results[6];
    for (int s = 0; s < 6; ++s) {
        results[s] = rig.commands->CheckInquiry(&rig.drives.SlotTable[s]);
    }
    EXPECT_EQ(0, results[3]);
    EXPECT_EQ("HA#1 - ID#1 :  SIMBUS  FIXED DISK      1.00",
              std::string(rig.drives.SlotTable[3].Description));
    // Every slot but the answering one keeps an empty text.
    for (int s : {0, 1, 2, 4, 5}) {
        EXPECT_EQ(0, results[s]);
        EXPECT_STREQ("", rig.drives.SlotTable[s].Description) << s;
    }
    const auto trace = rig.trace();
    ASSERT_EQ(6u, trace.size());
    const uint8_t expected[6] = {0x82, 0x82, 0x82, 0x01, 0x81, 0x81};
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(expected[s], trace[static_cast<size_t>(s)].status) << s;
    }
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

TEST(CheckInquiry, WaitsForTheEventUpToItsLimit) {
    struct Row {
        int64_t latency;
        int result;
        int64_t clockAfter;
    };
    const Row rows[] = {
        {1000, 1, 1000},
        {179999, 1, 179999},
        {180000, 1, 180000},
        {180001, 0, 180000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.latency);
        sim::DeviceSpec drive = kxd();
        drive.latencyMs = row.latency;
        Rig rig(busWith({drive}));
        aspi::DriveSlot& slot = rig.drives.SlotTable[1];
        EXPECT_EQ(row.result, rig.commands->CheckInquiry(&slot));
        EXPECT_EQ(std::vector<unsigned long>{180000}, rig.system.eventWaits);
        EXPECT_EQ(row.clockAfter, rig.system.clock().now());
        EXPECT_EQ(row.result == 1 ? 0 : 1, rig.system.openEvents);
        EXPECT_EQ(row.result == 1 ? 0u : 1u, rig.layer->retiredCount());
        EXPECT_EQ(row.result == 0, std::strlen(slot.Description) == 0);
        EXPECT_TRUE(rig.system.sleeps.empty());
    }
}

TEST(CheckInquiry, LateReplyAfterTheTimeLimitCorruptsNothing) {
    sim::DeviceSpec slow = kxd();
    slow.latencyMs = 200000;
    sim::DeviceSpec next = kxd("KV1A");
    next.hostAdapter = 1;
    next.target = 0;
    Rig rig(busWith({slow, next}));
    aspi::DriveSlot& first = rig.drives.SlotTable[1];
    aspi::DriveSlot& second = rig.drives.SlotTable[2];

    const aspi::RequestBlock* timedOut = &rig.layer->request();
    EXPECT_EQ(0, rig.commands->CheckInquiry(&first));
    EXPECT_EQ(1u, rig.layer->retiredCount());
    EXPECT_EQ(1, rig.system.openEvents);     // ASPI may still signal it
    EXPECT_EQ(1u, rig.layer->heldBuffers()); // and still write the reply

    EXPECT_EQ(1, rig.commands->CheckInquiry(&second));
    EXPECT_NE(timedOut, &rig.layer->request());
    EXPECT_EQ(1u, rig.layer->retiredCount());

    rig.system.clock().advanceBy(30000); // the first reply arrives now
    EXPECT_EQ(aspi::SS_COMP, aspi::loadStatus(*timedOut));
    EXPECT_STREQ("", first.Description);
    EXPECT_STREQ("HA#1 - ID#0 :  QUORVEN KXD-7316        KV1A", second.Description);
    EXPECT_EQ(aspi::SS_COMP, rig.layer->status());

    EXPECT_EQ(1, rig.commands->CheckInquiry(&second)); // reclaims the retired request
    EXPECT_EQ(0u, rig.layer->retiredCount());
    EXPECT_EQ(0, rig.system.openEvents);
    EXPECT_EQ(0u, rig.layer->heldBuffers());
}

TEST(CheckInquiry, FindsTheLayersSupportInformation) {
    sim::Scenario scenario = busWith({kxd()});
    scenario.supportStatus = 0xE8;
    scenario.adapters = 0;
    Rig rig(scenario);
    EXPECT_EQ(0xE800u, rig.layer->supportInfo());
}

} // namespace
