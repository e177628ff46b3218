// The five drive commands against the simulated drive: request contents, status and sense
// decoding, messages, the commit clock, and nothing sent without a drive.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "aspi_test_rig.h"

namespace {

using aspitest::busWith;
using aspitest::fault;
using aspitest::kxd;
using aspitest::Rig;
using Strings = std::vector<std::string>;

std::vector<uint8_t> cdbOf(const sim::TraceEntry& e) {
    return std::vector<uint8_t>(e.cdb, e.cdb + e.cdbLength);
}

std::string noAnswer(const char* command, int seconds) {
    return "The drive at HA#0 - ID#1 did not answer " + std::string(command) + " in " +
           std::to_string(seconds) +
           " seconds.\n\nDon't turn off the system. Restart it and run the flasher again.";
}

// Every command's answer to every kind of outcome.
TEST(DriveCommands, FailureTableForEveryCommand) {
    enum Outcome { Done, CheckCondition, OtherStatus, NeverDone };
    struct Row {
        const char* command;
        int opcode;
        Outcome outcome;
        int result;
        Strings messages;
    };
    const Row rows[] = {
        {"CheckInquiry", scsi::Inquiry, Done, 1, {}},
        {"CheckInquiry", scsi::Inquiry, CheckCondition, 0, {}},
        {"CheckInquiry", scsi::Inquiry, OtherStatus, 0, {}},
        {"CheckInquiry", scsi::Inquiry, NeverDone, 0, {}},
        {"StartStopUnit", scsi::StartStopUnit, Done, 1, {}},
        {"StartStopUnit", scsi::StartStopUnit, CheckCondition, 0, {}},
        {"StartStopUnit",
         scsi::StartStopUnit,
         OtherStatus,
         0,
         {"StartStop-Unit Command Error: E5"}},
        {"StartStopUnit", scsi::StartStopUnit, NeverDone, 0, {noAnswer("START STOP UNIT", 200)}},
        {"XCmd", scsi::TestUnitReady, OtherStatus, 0, {"Command Error: E5"}},
        {"XCmd", scsi::TestUnitReady, NeverDone, 0, {noAnswer("TEST UNIT READY", 10)}},
        {"WriteBuffer", scsi::WriteBuffer, Done, 1, {}},
        {"WriteBuffer", scsi::WriteBuffer, CheckCondition, 0, {"SenseCode: 05 24 00"}},
        {"WriteBuffer", scsi::WriteBuffer, OtherStatus, 0, {"Write-Buf Command Error: E5"}},
        {"WriteBuffer", scsi::WriteBuffer, NeverDone, 0, {noAnswer("WRITE BUFFER", 30)}},
        {"Commit", scsi::WriteBuffer, Done, 1, {}},
        {"Commit", scsi::WriteBuffer, CheckCondition, 0, {"SenseCode: 05 24 00"}},
        {"Commit", scsi::WriteBuffer, OtherStatus, 0, {"Write-Buf Command Error: E5"}},
        {"Commit", scsi::WriteBuffer, NeverDone, 0, {"Flash timeout !"}},
        {"ReadBuffer", scsi::ReadBuffer, Done, 1, {}},
        {"ReadBuffer", scsi::ReadBuffer, CheckCondition, 0, {"SenseCode: 05 24 00"}},
        {"ReadBuffer", scsi::ReadBuffer, OtherStatus, 0, {"Read-Buf Command Error: E5"}},
        {"ReadBuffer", scsi::ReadBuffer, NeverDone, 0, {noAnswer("READ BUFFER", 10)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " outcome " + std::to_string(row.outcome));
        std::vector<sim::Fault> faults;
        sim::Fault f = fault(row.opcode);
        if (row.outcome == CheckCondition) {
            f.senseKey = scsi::IllegalRequest;
            f.asc = scsi::InvalidFieldInCdb;
            f.ascq = scsi::NoQualifier;
        } else if (row.outcome == OtherStatus) {
            f.status = 0xE5;
        } else if (row.outcome == NeverDone) {
            f.never = true;
        }
        if (row.outcome != Done) {
            faults.push_back(f);
        }
        sim::DeviceSpec drive = kxd();
        drive.discPresent = true; // so that starting the unit succeeds
        Rig rig(busWith({drive}, faults));
        rig.drives.ReadyWaitCounter = 144;
        const std::string command = row.command;
        uint8_t* buffer = rig.layer->allocateBuffer(16384);
        ASSERT_NE(nullptr, buffer);
        std::memset(buffer, 0x5A, 16384);
        int result = -1;
        if (command == "CheckInquiry") {
            result = rig.commands->CheckInquiry(rig.slot());
        } else if (command == "StartStopUnit") {
            result = rig.commands->StartStopUnit(rig.slot(), 3);
        } else if (command == "XCmd") {
            result = rig.commands->XCmd(rig.slot());
        } else if (command == "WriteBuffer") {
            result = rig.write(16384, buffer);
        } else if (command == "Commit") {
            result = rig.commit(buffer);
            // The clock ran to its end, or was filled when the request ended before it.
            EXPECT_EQ(40, rig.clock.position);
            EXPECT_EQ(40, rig.clock.limit);
            EXPECT_TRUE(rig.clock.inOrder);
        } else {
            result = rig.read(16384, buffer);
        }
        EXPECT_EQ(row.result, result);
        EXPECT_EQ(row.messages, rig.messages());
        // A request not answered in time is given up and left to the layer (INQUIRY's without
        // a word); a readiness poll that meets it is the last one.
        EXPECT_EQ(row.outcome == NeverDone && command != "CheckInquiry", rig.commands->timedOut());
        EXPECT_EQ(row.outcome == NeverDone ? 1u : 0u, rig.layer->retiredCount());
        if (command == "XCmd") {
            EXPECT_EQ(row.outcome == NeverDone ? 1 : 144, rig.drives.ReadyWaitCounter);
        }
        for (const auto& box : rig.dialogs.shown) {
            EXPECT_EQ(platform::BoxKind::Notice, box.kind);
            EXPECT_EQ(unsigned{platform::ButtonOk}, box.buttons);
        }
        const auto trace = rig.trace();
        ASSERT_EQ(1u, trace.size()); // exactly one request, nothing retried
        EXPECT_EQ(row.opcode, trace[0].cdb[0]);
        if (command == "CheckInquiry") {
            EXPECT_EQ(row.result == 1, std::strlen(rig.drives.SlotTable[1].Description) != 0);
            EXPECT_EQ(Strings{}, rig.messages());
        }
        rig.layer->releaseBuffer(buffer);
    }
}

TEST(DriveCommands, XCmdDecodesTestUnitReady) {
    struct Row {
        const char* what;
        bool disc;
        int readyPolls;
        int senseKey, asc; // a forced check condition, -1 none
        int status;        // a forced status, -1 none
        int result;
        int counter;
        Strings messages;
    };
    const Strings removeDisc = {"Remove disc, befor to do the flash task."};
    const Row rows[] = {
        {"disc in and ready", true, 0, -1, 0, -1, 0, 1, removeDisc},
        {"tray empty", false, 0, -1, 0, -1, 1, 144, {}},
        {"no sense at all", false, 0, scsi::NoSense, scsi::NoAdditionalSense, -1, 0, 1, removeDisc},
        {"becoming ready", true, 5, -1, 0, -1, 0, 144, {}},
        {"not ready, other cause",
         false,
         0,
         scsi::NotReady,
         scsi::LogicalUnitNotReady,
         -1,
         0,
         144,
         {}},
        {"unit attention", false, 0, 0x06, 0x29, -1, 0, 144, {}},
        {"medium error key with ASC 3Ah", false, 0, 0x03, scsi::MediumNotPresent, -1, 0, 144, {}},
        {"no device", false, 0, -1, 0, 0x82, 0, 144, {"Command Error: 82"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::DeviceSpec drive = kxd();
        drive.discPresent = row.disc;
        drive.readyPolls = row.readyPolls;
        std::vector<sim::Fault> faults;
        if (row.senseKey >= 0 || row.status >= 0) {
            sim::Fault f = fault(scsi::TestUnitReady);
            f.senseKey = row.senseKey;
            f.asc = row.asc;
            f.status = row.status;
            faults.push_back(f);
        }
        Rig rig(busWith({drive}, faults));
        rig.drives.ReadyWaitCounter = 144;
        EXPECT_EQ(row.result, rig.commands->XCmd(rig.slot()));
        EXPECT_EQ(row.counter, rig.drives.ReadyWaitCounter);
        EXPECT_EQ(row.messages, rig.messages());
        const auto trace = rig.trace();
        ASSERT_EQ(1u, trace.size());
        EXPECT_EQ(std::vector<uint8_t>(12, 0), cdbOf(trace[0]));
        EXPECT_EQ(0u, trace[0].dataLength);
        EXPECT_EQ(0, trace[0].flags);
    }
}

TEST(DriveCommands, XCmdSeesTheDriveBecomeReady) {
    sim::DeviceSpec drive = kxd();
    drive.discPresent = true;
    drive.readyPolls = 2;
    Rig rig(busWith({drive}));
    EXPECT_EQ(0, rig.commands->XCmd(rig.slot()));
    EXPECT_EQ(0, rig.commands->XCmd(rig.slot()));
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(0, rig.commands->XCmd(rig.slot()));
    EXPECT_EQ(Strings{"Remove disc, befor to do the flash task."}, rig.messages());
}

TEST(DriveCommands, RequestsCarryTheCommandBytes) {
    Rig rig(busWith({kxd()}));
    uint8_t* buffer = rig.layer->allocateBuffer(16384);
    ASSERT_NE(nullptr, buffer);
    for (int i = 0; i < 16384; ++i) {
        buffer[i] = static_cast<uint8_t>(i * 7);
    }
    rig.commands->CheckInquiry(rig.slot());
    rig.commands->StartStopUnit(rig.slot(), 3);
    rig.commands->StartStopUnit(rig.slot(), 0);
    rig.commands->XCmd(rig.slot());
    EXPECT_EQ(1, rig.write(245760, buffer));
    EXPECT_EQ(-1, rig.clock.limit); // data blocks run no clock
    std::vector<uint8_t> back(16384, 0);
    EXPECT_EQ(1, rig.read(245760, back.data()));
    EXPECT_EQ(0, std::memcmp(buffer, back.data(), back.size()));

    struct Expected {
        std::vector<uint8_t> cdb;
        uint8_t flags;
        uint32_t length;
    };
    const Expected expected[] = {
        {{0x12, 0, 0, 0, 0x24, 0}, 0x48, 36},
        {{0x1B, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
        {{0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
        {std::vector<uint8_t>(12, 0), 0, 0},
        {{0x3B, 0x05, 0x01, 0x03, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00, 0, 0}, 0, 16384},
        {{0x3C, 0x01, 0x01, 0x03, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00, 0, 0}, 0, 16384},
    };
    const auto trace = rig.trace();
    ASSERT_EQ(std::size(expected), trace.size());
    for (size_t i = 0; i < trace.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].cdb, cdbOf(trace[i]));
        EXPECT_EQ(expected[i].flags, trace[i].flags);
        EXPECT_EQ(expected[i].length, trace[i].dataLength);
        EXPECT_EQ(0, trace[i].hostAdapter);
        EXPECT_EQ(1, trace[i].target);
    }
    // The block went into the drive's download buffer at its offset.
    const bool stored = rig.bus.inspect([&](sim::Bus& b) {
        return std::memcmp(&b.device(0, 1)->download[245760], buffer, 16384) == 0;
    });
    EXPECT_TRUE(stored);
    EXPECT_EQ(0u, rig.layer->retiredCount());
    rig.layer->releaseBuffer(buffer);
}

TEST(DriveCommands, RequestBlockIsClearedBeforeEachCommand) {
    Rig rig(busWith({kxd()}));
    rig.commands->CheckInquiry(rig.slot());
    rig.commands->XCmd(rig.slot());
    const aspi::RequestBlock& block = rig.layer->request();
    EXPECT_EQ(aspi::SC_EXEC_SCSI_CMD, block.SRB_Cmd);
    EXPECT_EQ(0, block.SRB_Flags);
    // Packed fields are copied out before gtest takes them by reference.
    const void* post = block.SRB_PostProc;
    const void* data = block.SRB_BufPointer;
    const uint32_t length = block.SRB_BufLen;
    EXPECT_EQ(nullptr, post);
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(0u, length);
    EXPECT_EQ(14, block.SRB_SenseLen);
    EXPECT_EQ(12, block.SRB_CDBLen);
    EXPECT_EQ(0, block.CDBByte[4]); // nothing left of INQUIRY's allocation length
}

TEST(DriveCommands, SenseMessageShowsKeyCodeAndQualifier) {
    sim::Fault f = fault(scsi::ReadBuffer);
    f.senseKey = scsi::IllegalRequest;
    f.asc = scsi::InvalidFieldInCdb;
    f.ascq = scsi::NoQualifier;
    sim::Fault g = fault(scsi::WriteBuffer);
    g.senseKey = 0x0B;
    g.asc = 0x4E;
    g.ascq = 0xA7;
    Rig rig(busWith({kxd()}, {f, g}));
    std::vector<uint8_t> buffer(16384);
    EXPECT_EQ(0, rig.read(0, buffer.data()));
    EXPECT_EQ(0, rig.write(0, buffer.data()));
    EXPECT_EQ((Strings{"SenseCode: 05 24 00", "SenseCode: 0B 4E A7"}), rig.messages());
}

TEST(DriveCommands, CommitCompletingDuringTheSixthSleep) {
    sim::DeviceSpec drive = kxd();
    drive.commitMs = 5500;
    drive.newRevision = "KV82";
    Rig rig(busWith({drive}));
    uint8_t* buffer = rig.layer->allocateBuffer(16384);
    buffer[0] = 0xEE;
    EXPECT_EQ(1, rig.commit(buffer));
    EXPECT_EQ(std::vector<unsigned long>(6, 1000), rig.system.sleeps);
    EXPECT_EQ(5, rig.clock.ticks); // the clock showed 5 when the status came
    EXPECT_TRUE(rig.clock.endedEarly);
    EXPECT_EQ(40, rig.clock.position);
    EXPECT_EQ(40, rig.clock.limit);
    EXPECT_TRUE(rig.clock.inOrder);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    const auto trace = rig.trace();
    ASSERT_EQ(1u, trace.size());
    EXPECT_EQ((std::vector<uint8_t>{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 1, 0x80, 0, 0}),
              cdbOf(trace[0]));
    EXPECT_EQ(1u, trace[0].dataLength);
    EXPECT_EQ(1, rig.bus.inspect([](sim::Bus& b) { return b.device(0, 1)->commits; }));
    rig.layer->releaseBuffer(buffer);
}

TEST(DriveCommands, CommitStillPendingAfterFortySleeps) {
    sim::Fault never = fault(scsi::WriteBuffer);
    never.never = true;
    Rig rig(busWith({kxd()}, {never}));
    uint8_t* buffer = rig.layer->allocateBuffer(16384);
    const aspi::RequestBlock* first = &rig.layer->request();
    EXPECT_EQ(0, rig.commit(buffer));
    EXPECT_EQ(std::vector<unsigned long>(40, 1000), rig.system.sleeps);
    EXPECT_EQ(40, rig.clock.position);
    EXPECT_EQ(40, rig.clock.limit);
    EXPECT_FALSE(rig.clock.endedEarly);
    EXPECT_EQ(Strings{"Flash timeout !"}, rig.messages());
    // The pending request keeps its block and the buffer it reads.
    EXPECT_EQ(1u, rig.layer->retiredCount());
    EXPECT_NE(first, &rig.layer->request());
    rig.layer->releaseBuffer(buffer);
    EXPECT_EQ(1u, rig.layer->heldBuffers());
}

TEST(DriveCommands, CommitThatEndsInTheLastSecondStillCounts) {
    sim::DeviceSpec drive = kxd();
    drive.commitMs = 39500;
    Rig rig(busWith({drive}));
    std::vector<uint8_t> buffer(16);
    EXPECT_EQ(1, rig.commit(buffer.data()));
    EXPECT_EQ(39, rig.clock.ticks);
    EXPECT_EQ(40, rig.clock.position);
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

TEST(DriveCommands, LateCommitCompletionTouchesOnlyItsRetiredRequest) {
    sim::Fault late = fault(scsi::WriteBuffer);
    late.occurrence = 1;
    late.delayMs = 45000;
    Rig rig(busWith({kxd()}, {late}));
    uint8_t* buffer = rig.layer->allocateBuffer(16384);
    std::memset(buffer, 0x11, 16384);
    const aspi::RequestBlock* commitBlock = &rig.layer->request();
    EXPECT_EQ(0, rig.commit(buffer));
    EXPECT_EQ(1u, rig.layer->retiredCount());
    rig.layer->releaseBuffer(buffer); // deferred: the commit still reads it
    EXPECT_EQ(1u, rig.layer->heldBuffers());

    // The next command goes out through a fresh block and completes on its own.
    rig.drives.ReadyWaitCounter = 144;
    EXPECT_EQ(1, rig.commands->XCmd(rig.slot()));
    EXPECT_EQ(1u, rig.layer->retiredCount());

    rig.system.clock().advanceBy(10000); // the drive finally answers the commit
    EXPECT_EQ(aspi::SS_COMP, aspi::loadStatus(*commitBlock));
    EXPECT_NE(commitBlock, &rig.layer->request());
    EXPECT_EQ(scsi::MediumNotPresent, scsi::decodeFixedSense(rig.layer->request().SenseArea).asc)
        << "the last command's outcome is intact";
    EXPECT_EQ(1, rig.commands->XCmd(rig.slot())); // reclaims the retired request
    EXPECT_EQ(0u, rig.layer->retiredCount());
    EXPECT_EQ(0u, rig.layer->heldBuffers());
    EXPECT_EQ(Strings{"Flash timeout !"}, rig.messages());
}

TEST(DriveCommands, NothingGoesOutWithoutADrive) {
    struct Row {
        const char* what;
        bool slot;      // a slot is named
        bool connected; // ASPI's entry points are known
    };
    const Row rows[] = {{"no slot", false, true}, {"no ASPI entry points", true, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Rig rig(busWith({kxd()}));
        if (!row.connected) {
            rig.layer->setEntryPoints(static_cast<void*>(nullptr), static_cast<void*>(nullptr));
        }
        aspi::DriveSlot* slot = row.slot ? rig.slot() : nullptr;
        std::vector<uint8_t> buffer(16384);
        EXPECT_EQ(0, rig.commands->CheckInquiry(slot));
        EXPECT_EQ(0, rig.commands->StartStopUnit(slot, 3));
        EXPECT_EQ(0, rig.commands->XCmd(slot));
        EXPECT_EQ(0, rig.commands->WriteBuffer(slot, 0, buffer.data(), 16384, 0));
        EXPECT_EQ(0, rig.commands->WriteBuffer(slot, 0, buffer.data(), 1, scsi::CommitControl,
                                               rig.clock.tick()));
        EXPECT_EQ(0, rig.commands->ReadBuffer(slot, 0, buffer.data(), 16384));
        EXPECT_TRUE(rig.trace().empty());
        EXPECT_TRUE(rig.dialogs.shown.empty());
        EXPECT_TRUE(rig.system.sleeps.empty());
        EXPECT_EQ(-1, rig.clock.limit);
    }
}

TEST(DriveCommands, WholeImageRoundTripAndCommit) {
    sim::DeviceSpec drive = kxd();
    drive.newRevision = "KV82";
    Rig rig(busWith({drive}));
    std::vector<uint8_t> image(262144);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>((i * 31) ^ (i >> 9));
    }
    uint8_t* buffer = rig.layer->allocateBuffer(16384);
    for (uint32_t offset = 0; offset < image.size(); offset += 16384) {
        std::memcpy(buffer, &image[offset], 16384);
        ASSERT_EQ(1, rig.write(offset, buffer));
    }
    for (uint32_t offset = 0; offset < image.size(); offset += 16384) {
        ASSERT_EQ(1, rig.read(offset, buffer));
        ASSERT_EQ(0, std::memcmp(buffer, &image[offset], 16384));
    }
    EXPECT_EQ(1, rig.commit(buffer));
    const bool installed = rig.bus.inspect([&](sim::Bus& b) {
        return b.device(0, 1)->firmware == image && b.device(0, 1)->setup.revision == "KV82";
    });
    EXPECT_TRUE(installed);
    EXPECT_EQ(33u, rig.trace().size());
    rig.layer->releaseBuffer(buffer);
}

} // namespace
