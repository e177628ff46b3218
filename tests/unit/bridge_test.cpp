// The ASPI bridge's rules: where drives appear, which requests are refused at once, what goes to
// pass-through and how its outcome comes back into the request block.
#include <gtest/gtest.h>

#include <cstring>

#include "aspi/scsi.h"
#include "core.h"

namespace {

using aspi::trace::Direction;

bridge::Drive addressed(uint8_t port, uint8_t path, uint8_t target, uint8_t lun = 0) {
    bridge::Drive d;
    d.addressed = true;
    d.port = port;
    d.path = path;
    d.target = target;
    d.lun = lun;
    return d;
}

std::string placesOf(const std::vector<bridge::Drive>& drives) {
    std::string text;
    for (const bridge::Place& p : bridge::placeDrives(drives)) {
        text += std::to_string(p.hostAdapter) + ":" + std::to_string(p.target) + ":" +
                std::to_string(p.lun) + " ";
    }
    return text;
}

TEST(BridgePlaces, DrivesSharePortAndPathAsOneAdapterOthersHaveTheirOwn) {
    const bridge::Drive unaddressed;
    struct Row {
        const char* what;
        std::vector<bridge::Drive> drives;
        const char* places;
        uint8_t adapters;
    };
    const Row rows[] = {
        {"none", {}, "", 0},
        {"one drive as Wine reports an sg target 1", {addressed(2, 0, 1)}, "0:1:0 ", 1},
        {"two targets of one port and path",
         {addressed(2, 0, 1), addressed(2, 0, 0)},
         "0:1:0 0:0:0 ",
         1},
        {"two paths", {addressed(2, 0, 0), addressed(2, 1, 0)}, "0:0:0 1:0:0 ", 2},
        {"two ports", {addressed(2, 0, 0), addressed(3, 0, 5, 2)}, "0:0:0 1:5:2 ", 2},
        {"without addresses", {unaddressed, unaddressed}, "0:0:0 1:0:0 ", 2},
        {"mixed, in the drives' order",
         {unaddressed, addressed(2, 0, 1), unaddressed, addressed(2, 0, 0)},
         "0:0:0 1:1:0 2:0:0 1:0:0 ",
         3},
        {"an address twice", {addressed(2, 0, 1), addressed(2, 0, 1)}, "0:1:0 1:0:0 ", 2},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(placesOf(row.drives), row.places) << row.what;
        EXPECT_EQ(bridge::adapterCount(bridge::placeDrives(row.drives)), row.adapters) << row.what;
    }
}

// A request block of the program's kind for host adapter 0, target 1.
struct Block {
    aspi::RequestBlock block{};
    uint8_t data[64] = {};
    explicit Block(std::vector<uint8_t> cdb, uint8_t flags = 0, uint32_t length = 0) {
        block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        block.SRB_Target = 1;
        block.SRB_Flags = flags;
        block.SRB_SenseLen = aspi::SENSE_LEN;
        block.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
        std::memcpy(block.CDBByte, cdb.data(), cdb.size());
        block.SRB_BufLen = length;
        block.SRB_BufPointer = length != 0 ? data : nullptr;
    }
};

const std::vector<uint8_t> Inquiry = {scsi::Inquiry, 0, 0, 0, scsi::InquiryLength, 0};
const std::vector<uint8_t> TestUnitReady(12, 0);
const std::vector<uint8_t> WriteBuffer = {scsi::WriteBuffer, 5, 1, 0, 0, 0, 0, 0, 16, 0, 0, 0};
const std::vector<uint8_t> ReadBuffer = {scsi::ReadBuffer, 1, 1, 0, 0, 0, 0, 0, 16, 0, 0, 0};

TEST(BridgeRequests, RefusedAtOnceOrGoingToTheDrive) {
    // Drive 0 at 0:0, drive 1 at 0:1.
    const std::vector<bridge::Place> places = {{0, 0, 0}, {0, 1, 0}};
    struct Row {
        const char* what;
        void (*change)(aspi::RequestBlock&);
        uint8_t status;
        int drive;
    };
    const Row rows[] = {
        {"to the drive at 0:1", [](aspi::RequestBlock&) {}, aspi::SS_PENDING, 1},
        {"to the drive at 0:0", [](aspi::RequestBlock& b) { b.SRB_Target = 0; }, aspi::SS_PENDING,
         0},
        {"another command", [](aspi::RequestBlock& b) { b.SRB_Cmd = 0x00; }, aspi::SS_INVALID_CMD,
         -1},
        {"a second adapter", [](aspi::RequestBlock& b) { b.SRB_HaId = 1; }, aspi::SS_INVALID_HA,
         -1},
        {"an empty target", [](aspi::RequestBlock& b) { b.SRB_Target = 2; }, aspi::SS_NO_DEVICE,
         -1},
        {"another LUN", [](aspi::RequestBlock& b) { b.SRB_Lun = 1; }, aspi::SS_NO_DEVICE, -1},
        {"no CDB", [](aspi::RequestBlock& b) { b.SRB_CDBLen = 0; }, aspi::SS_INVALID_SRB, 1},
        {"a CDB of 17 bytes", [](aspi::RequestBlock& b) { b.SRB_CDBLen = 17; },
         aspi::SS_INVALID_SRB, 1},
        {"data without a buffer", [](aspi::RequestBlock& b) { b.SRB_BufPointer = nullptr; },
         aspi::SS_INVALID_SRB, 1},
    };
    for (const Row& row : rows) {
        Block b(Inquiry, aspi::SRB_DIR_IN, scsi::InquiryLength);
        row.change(b.block);
        int drive = -1;
        EXPECT_EQ(bridge::accept(b.block, places, drive), row.status) << row.what;
        if (row.drive >= 0) {
            EXPECT_EQ(drive, row.drive) << row.what;
        }
    }
}

TEST(BridgeRequests, DirectionFromTheFlagsElseFromTheCommand) {
    struct Row {
        std::vector<uint8_t> cdb;
        uint8_t flags;
        uint32_t length;
        Direction direction;
    };
    const Row rows[] = {
        {Inquiry, aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY, 36, Direction::In},
        {WriteBuffer, 0, 16, Direction::Out},
        {ReadBuffer, 0, 16, Direction::In},
        {WriteBuffer, aspi::SRB_DIR_IN, 16, Direction::In},
        {TestUnitReady, 0, 0, Direction::None},
    };
    for (const Row& row : rows) {
        Block b(row.cdb, row.flags, row.length);
        b.block.SRB_SenseLen = 200;
        const bridge::Command c = bridge::commandFor(b.block);
        EXPECT_EQ(c.direction, row.direction) << int{row.cdb[0]};
        EXPECT_EQ(c.length, row.length);
        EXPECT_EQ(c.data, row.length != 0 ? b.data : nullptr);
        EXPECT_EQ(c.cdbLength, row.cdb.size());
        EXPECT_EQ(0, std::memcmp(c.cdb, row.cdb.data(), row.cdb.size()));
        EXPECT_EQ(c.senseLength, bridge::SenseCapacity);
    }
}

TEST(BridgeRequests, OutcomeIntoTheBlockStatusLast) {
    const uint8_t sense[18] = {0x70, 0, scsi::NotReady,        0, 0, 0, 0, 10, 0, 0,
                               0,    0, scsi::MediumNotPresent};
    struct Row {
        const char* what;
        std::vector<uint8_t> cdb;
        uint32_t length;
        bridge::Outcome outcome;
        uint8_t status, adapterStatus, targetStatus;
        bool senseCopied;
    };
    const Row rows[] = {
        {"completed", Inquiry, 36, {true, 0, 36, 0, nullptr, 5}, aspi::SS_COMP, 0, 0, false},
        {"a short read is no error",
         Inquiry,
         36,
         {true, 0, 30, 0, nullptr, 5},
         aspi::SS_COMP,
         0,
         0,
         false},
        {"check condition", TestUnitReady, 0, {true, 2, 0, 18, sense, 5}, aspi::SS_ERR, 0, 2, true},
        {"busy, no sense data",
         TestUnitReady,
         0,
         {true, 8, 0, 0, nullptr, 5},
         aspi::SS_ERR,
         0,
         8,
         false},
        {"not carried out: not a word of the drive's",
         TestUnitReady,
         0,
         {false, 0, 0, 0, nullptr, 5},
         aspi::SS_ABORTED,
         0,
         0,
         false},
        {"the device has gone away",
         WriteBuffer,
         16,
         {false, 0, 0, 0, nullptr, 5, true},
         aspi::SS_NO_DEVICE,
         0,
         0,
         false},
        {"at the time limit",
         TestUnitReady,
         0,
         {true, 0, 0, 0, nullptr, 60000},
         aspi::SS_ERR,
         aspi::HASTAT_COMMAND_TIMEOUT,
         0,
         false},
        {"good status and nothing moved",
         ReadBuffer,
         16,
         {true, 0, 0, 0, nullptr, 5},
         aspi::SS_ERR,
         aspi::HASTAT_DO_DU,
         0,
         false},
    };
    for (const Row& row : rows) {
        Block b(row.cdb, 0, row.length);
        const bridge::Command c = bridge::commandFor(b.block);
        b.block.SRB_HaStat = 0x55;
        EXPECT_EQ(bridge::complete(b.block, c, row.outcome), row.status) << row.what;
        EXPECT_EQ(aspi::loadStatus(b.block), row.status) << row.what;
        EXPECT_EQ(b.block.SRB_HaStat, row.adapterStatus) << row.what;
        EXPECT_EQ(b.block.SRB_TargStat, row.targetStatus) << row.what;
        EXPECT_EQ(b.block.SRB_BufLen, row.length) << row.what << ": no residual unless asked";
        // As much sense data as the block has room for, and no more.
        EXPECT_EQ(std::memcmp(b.block.SenseArea, sense, aspi::SENSE_LEN) == 0, row.senseCopied)
            << row.what;
        EXPECT_EQ(b.block.SenseArea[aspi::SENSE_LEN], 0) << row.what;
    }
}

TEST(BridgeRequests, ResidualCountWhereAsked) {
    Block b(Inquiry, aspi::SRB_DIR_IN | aspi::SRB_ENABLE_RESIDUAL_COUNT, 36);
    const bridge::Command c = bridge::commandFor(b.block);
    EXPECT_EQ(bridge::complete(b.block, c, bridge::Outcome{true, 0, 30, 0, nullptr, 5}),
              aspi::SS_COMP);
    EXPECT_EQ(b.block.SRB_BufLen, 6u);
}

} // namespace
