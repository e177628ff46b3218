// The simulated bus on its own: the drive model, the faults, the timing, the trace and the
// scenario file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "aspi/scsi.h"
#include "sim/core/bus.h"

namespace {

class NoEvents : public sim::EventHost {
public:
    int signals = 0;
    int held = 0;
    void* holdEvent(void* post) override {
        ++held;
        return post;
    }
    void signalEvent(void*) override { ++signals; }
    void releaseEvent(void*) override { --held; }
};

// One request block with its data.
struct Request {
    aspi::RequestBlock block{};
    std::vector<uint8_t> data;
    Request(uint8_t ha, uint8_t target, std::vector<uint8_t> cdb, size_t length = 0) {
        block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        block.SRB_HaId = ha;
        block.SRB_Target = target;
        block.SRB_SenseLen = aspi::SENSE_LEN;
        block.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
        std::memcpy(block.CDBByte, cdb.data(), cdb.size());
        data.resize(length);
        block.SRB_BufLen = static_cast<uint32_t>(length);
        block.SRB_BufPointer = length != 0 ? data.data() : nullptr;
    }
    uint8_t status() const { return aspi::loadStatus(block); }
    std::vector<int> sense() const {
        const scsi::Sense s = scsi::decodeFixedSense(block.SenseArea);
        return {s.key, s.asc, s.ascq};
    }
};

std::vector<uint8_t> tur() {
    return std::vector<uint8_t>(12, 0);
}
std::vector<uint8_t> ssu(uint8_t value) {
    return {scsi::StartStopUnit, 0, 0, 0, value, 0, 0, 0, 0, 0, 0, 0};
}
std::vector<uint8_t> inquiryCdb(uint8_t length) {
    return {scsi::Inquiry, 0, 0, 0, length, 0};
}
std::vector<uint8_t> buffer(uint8_t op, uint8_t mode, uint32_t offset, uint32_t length,
                            uint8_t control = 0) {
    std::vector<uint8_t> cdb = {op, mode, scsi::FirmwareBufferId, 0, 0, 0, 0, 0, 0, control, 0, 0};
    aspi::putBig24(&cdb[3], offset);
    aspi::putBig24(&cdb[6], length);
    return cdb;
}

// A fault for the drive at 0:1 on one command.
sim::Fault fault(uint8_t opcode) {
    sim::Fault f;
    f.target = 1;
    f.opcode = opcode;
    return f;
}

sim::Scenario oneDrive(sim::DeviceSpec d = {}) {
    sim::Scenario s;
    d.hostAdapter = 0;
    d.target = 1;
    s.devices.push_back(d);
    return s;
}

struct BusRun {
    sim::Bus bus;
    NoEvents events;
    int64_t now = 0;
    explicit BusRun(sim::Scenario s) : bus(std::move(s)) {}
    void go(Request& r) {
        bus.submit(&r.block, now, events);
        bus.completeDue(now, events);
    }
};

TEST(SimBus, TestUnitReadyAndStartStop) {
    struct Row {
        const char* what;
        bool disc;
        int readyPolls;
        std::vector<std::vector<uint8_t>> cdbs;
        std::vector<int> statuses;
        std::vector<int> firstSense;
    };
    const Row rows[] = {
        {"tray empty", false, 0, {tur()}, {0x04}, {0x02, 0x3A, 0x00}},
        {"disc ready", true, 0, {tur()}, {0x01}, {0, 0, 0}},
        {"becoming ready", true, 2, {tur(), tur(), tur()}, {0x04, 0x04, 0x01}, {2, 4, 1}},
        {"start without disc", false, 0, {ssu(3), ssu(0)}, {0x04, 0x01}, {2, 0x3A, 0}},
        {"load restarts readiness",
         true,
         1,
         {tur(), tur(), ssu(3), tur()},
         {4, 1, 1, 4},
         {2, 4, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::DeviceSpec d;
        d.discPresent = row.disc;
        d.readyPolls = row.readyPolls;
        BusRun run(oneDrive(d));
        std::vector<int> statuses;
        std::vector<int> sense;
        for (const auto& cdb : row.cdbs) {
            Request r(0, 1, cdb);
            run.go(r);
            statuses.push_back(r.status());
            if (sense.empty()) {
                sense = r.sense();
            }
        }
        EXPECT_EQ(row.statuses, statuses);
        EXPECT_EQ(row.firstSense, sense);
    }
}

TEST(SimBus, AddressingAndSupportInformation) {
    sim::Scenario s = oneDrive();
    s.adapters = 1;
    BusRun run(s);
    EXPECT_EQ(0x0101u, run.bus.supportInfo());
    Request empty(0, 0, tur()), noAdapter(1, 1, tur()), drive(0, 1, inquiryCdb(36), 36);
    drive.block.SRB_Cmd = 0x00; // not an execute-command request
    run.go(empty);
    run.go(noAdapter);
    run.go(drive);
    EXPECT_EQ(aspi::SS_NO_DEVICE, empty.status());
    EXPECT_EQ(aspi::SS_INVALID_HA, noAdapter.status());
    EXPECT_EQ(aspi::SS_INVALID_CMD, drive.status());
}

TEST(SimBus, InquiryReplyIsPaddedAndHonoursTheAllocationLength) {
    sim::DeviceSpec d;
    d.vendor = "AB";
    d.product = "CDEFGHIJKLMNOPQRSTUVW"; // cut to 16
    d.revision = "R1";
    BusRun run(oneDrive(d));
    Request full(0, 1, inquiryCdb(36), 36), shortReply(0, 1, inquiryCdb(10), 36);
    run.go(full);
    run.go(shortReply);
    EXPECT_EQ(0x05, full.data[0]);
    EXPECT_EQ(0x80, full.data[1]);
    EXPECT_EQ("AB      CDEFGHIJKLMNOPQRR1  ", std::string(full.data.begin() + 8, full.data.end()));
    EXPECT_EQ(0, shortReply.data[10]); // only ten bytes came back
    EXPECT_EQ('A', shortReply.data[8]);
}

TEST(SimBus, DownloadReadBackAndCommit) {
    sim::DeviceSpec d;
    d.commitMs = 2500;
    d.newRevision = "KV90";
    sim::Scenario s = oneDrive(d);
    s.firmwarePath = ::testing::TempDir() + "sim_bus_firmware.bin";
    std::remove(s.firmwarePath.c_str());
    BusRun run(s);
    Request write(0, 1, buffer(scsi::WriteBuffer, scsi::DownloadAndSave, 16384, 4), 4);
    std::memcpy(write.data.data(), "\x01\x02\x03\x04", 4);
    run.go(write);
    EXPECT_EQ(aspi::SS_COMP, write.status());
    Request read(0, 1, buffer(scsi::ReadBuffer, scsi::VendorSpecificRead, 16382, 8), 8);
    run.go(read);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 2, 3, 4, 0, 0}), read.data);

    Request commit(0, 1,
                   buffer(scsi::WriteBuffer, scsi::DownloadAndSave, 0, 1, scsi::CommitControl), 1);
    commit.data[0] = 0xFF; // carries nothing
    run.bus.submit(&commit.block, 1000, run.events);
    EXPECT_EQ(3500, run.bus.nextDue());
    run.bus.completeDue(3499, run.events);
    EXPECT_EQ(aspi::SS_PENDING, commit.status());
    run.bus.completeDue(3500, run.events);
    EXPECT_EQ(aspi::SS_COMP, commit.status());
    sim::DeviceState* dev = run.bus.device(0, 1);
    ASSERT_EQ(package::ImageSize, dev->firmware.size());
    EXPECT_EQ(0, dev->firmware[0]);
    EXPECT_EQ(3, dev->firmware[16386]);
    EXPECT_EQ("KV90", dev->setup.revision);
    std::ifstream saved(s.firmwarePath, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(saved)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(dev->firmware, file);
}

TEST(SimBus, RefusesWrongModesAndRanges) {
    const std::vector<uint8_t> cdbs[] = {
        buffer(scsi::WriteBuffer, 4, 0, 16),
        buffer(scsi::WriteBuffer, scsi::DownloadAndSave, 262144 - 8, 16),
        buffer(scsi::ReadBuffer, 2, 0, 16),
        buffer(scsi::ReadBuffer, scsi::VendorSpecificRead, 262144, 1),
        {0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    const std::vector<int> expected[] = {
        {5, 0x24, 0}, {5, 0x24, 0}, {5, 0x24, 0}, {5, 0x24, 0}, {5, 0x20, 0}};
    BusRun run(oneDrive());
    for (size_t i = 0; i < std::size(cdbs); ++i) {
        Request r(0, 1, cdbs[i], 16);
        run.go(r);
        EXPECT_EQ(aspi::SS_ERR, r.status()) << i;
        EXPECT_EQ(expected[i], r.sense()) << i;
    }
}

TEST(SimBus, FaultsPerCommandAndOccurrence) {
    sim::Scenario s = oneDrive();
    sim::Fault second = fault(scsi::TestUnitReady);
    second.occurrence = 2;
    second.status = 0xE5;
    sim::Fault corrupt = fault(scsi::ReadBuffer);
    corrupt.corruptOffset = 3;
    sim::Fault slow = fault(scsi::Inquiry);
    slow.delayMs = 700;
    sim::Fault never = fault(scsi::StartStopUnit);
    never.never = true;
    sim::Fault stored = fault(scsi::WriteBuffer);
    stored.corruptOffset = 5;
    s.faults = {second, corrupt, slow, never, stored};
    BusRun run(s);
    Request t1(0, 1, tur()), t2(0, 1, tur()), t3(0, 1, tur());
    run.go(t1);
    run.go(t2);
    run.go(t3);
    EXPECT_EQ(0x04, t1.status());
    EXPECT_EQ(0xE5, t2.status());
    EXPECT_EQ(0x04, t3.status());

    // A write stores its block with byte 5 inverted; the read returns byte 3 inverted.
    Request write(0, 1, buffer(scsi::WriteBuffer, scsi::DownloadAndSave, 0, 8), 8);
    write.data.assign(8, 0x11);
    run.go(write);
    EXPECT_EQ(aspi::SS_COMP, write.status());
    Request read(0, 1, buffer(scsi::ReadBuffer, scsi::VendorSpecificRead, 0, 8), 8);
    run.go(read);
    EXPECT_EQ(aspi::SS_COMP, read.status());
    EXPECT_EQ((std::vector<uint8_t>{0x11, 0x11, 0x11, 0xEE, 0x11, 0xEE, 0x11, 0x11}), read.data);
    EXPECT_EQ(std::vector<uint8_t>(8, 0x11), write.data); // the program's block is left alone

    Request inquiry(0, 1, inquiryCdb(36), 36), start(0, 1, ssu(3));
    run.bus.submit(&inquiry.block, 100, run.events);
    run.bus.submit(&start.block, 100, run.events);
    EXPECT_EQ(800, run.bus.nextDue());
    run.bus.completeDue(100000, run.events);
    EXPECT_EQ(aspi::SS_COMP, inquiry.status());
    EXPECT_EQ(aspi::SS_PENDING, start.status());
    EXPECT_EQ(-1, run.bus.nextDue());
    const auto& trace = run.bus.trace();
    ASSERT_EQ(7u, trace.size());
    EXPECT_FALSE(trace[6].completed);
    EXPECT_EQ(-1, trace[6].due);
}

TEST(SimBus, DeviceThatStopsAnswering) {
    sim::DeviceSpec d;
    d.diesAfter = 1;
    BusRun run(oneDrive(d));
    Request first(0, 1, tur()), second(0, 1, tur());
    run.go(first);
    run.go(second);
    EXPECT_EQ(0x04, first.status());
    EXPECT_EQ(2, first.block.SenseArea[2]);
    EXPECT_EQ(0x04, second.status());
    EXPECT_EQ(aspi::HASTAT_SEL_TO, second.block.SRB_HaStat);
    EXPECT_EQ((std::vector<int>{0, 0, 0}), second.sense());
}

TEST(SimBus, EventsAreHeldUntilSignalledOrDropped) {
    BusRun run(oneDrive());
    int dummyEvent = 0;
    Request a(0, 1, tur()), b(0, 1, ssu(3));
    a.block.SRB_Flags = aspi::SRB_EVENT_NOTIFY;
    a.block.SRB_PostProc = &dummyEvent;
    b.block.SRB_Flags = aspi::SRB_EVENT_NOTIFY;
    b.block.SRB_PostProc = &dummyEvent;
    sim::Scenario s = oneDrive();
    sim::Fault never = fault(scsi::StartStopUnit);
    never.never = true;
    s.faults.push_back(never);
    sim::Bus bus(s);
    bus.submit(&a.block, 0, run.events);
    bus.submit(&b.block, 0, run.events);
    EXPECT_EQ(2, run.events.held);
    bus.completeDue(0, run.events);
    EXPECT_EQ(1, run.events.signals);
    EXPECT_EQ(1, run.events.held);
    bus.shutdown(run.events);
    EXPECT_EQ(0, run.events.held);
    EXPECT_EQ(1, run.events.signals);
}

TEST(SimBus, TraceFileHasALinePerSubmissionAndCompletionAndOnePerCommit) {
    sim::DeviceSpec d;
    d.revision = "KV80";
    d.commitMs = 0;
    d.newRevision = "KV81";
    sim::Scenario s = oneDrive(d);
    s.tracePath = ::testing::TempDir() + "sim_bus_trace.txt";
    {
        BusRun run(s);
        Request r(0, 1, inquiryCdb(36), 36);
        r.block.SRB_Flags = 0x08;
        run.go(r);
        Request commit(
            0, 1, buffer(scsi::WriteBuffer, scsi::DownloadAndSave, 0, 1, scsi::CommitControl), 1);
        run.go(commit);
    }
    std::ifstream in(s.tracePath);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ("submit #1 t=0 slot=0:1 flags=08 len=36 cdb=12 00 00 00 24 00 status=01 "
              "sense=00/00/00 due=0\n"
              "done #1 t=0 slot=0:1 flags=08 len=36 cdb=12 00 00 00 24 00 status=01 "
              "sense=00/00/00 due=0\n"
              "submit #2 t=0 slot=0:1 flags=00 len=1 cdb=3B 05 01 00 00 00 00 00 01 80 00 00 "
              "status=01 sense=00/00/00 due=0\n"
              "commit #2 t=0 slot=0:1 revision=KV80->KV81\n"
              "done #2 t=0 slot=0:1 flags=00 len=1 cdb=3B 05 01 00 00 00 00 00 01 80 00 00 "
              "status=01 sense=00/00/00 due=0\n",
              text.str());
}

TEST(SimScenario, ParsesEveryDirective) {
    const std::string text = "# a bus\n"
                             "support-status E8\n"
                             "adapters 2\n"
                             "latency 15   # ms\n"
                             "trace Z:\\tmp\\trace.txt\n"
                             "save-firmware /tmp/fw.bin\n"
                             "device 0:1 kxd revision=KV1A disc=present ready-polls=3 "
                             "commit-ms=9000 new-revision=KV1B latency=5 dies-after=40\n"
                             "device 1:0 other product=\"FIXED \\\"X\\\"\\x00Z\" type=0\n"
                             "fault 0:1 3C occurrence=6 corrupt=100\n"
                             "fault 0:1 any sense=02/04/01 delay=30\n"
                             "fault 1:0 12 never\n"
                             "fault 1:0 00 occurrence=* status=E5\n"
                             "fault 0:1 3B errno=ENODEV host-status=07 driver-status=06 resid=3 "
                             "scsi-status=18 throw\n";
    sim::Scenario s;
    std::string error;
    ASSERT_TRUE(sim::Scenario::parse(text, s, error)) << error;
    EXPECT_EQ(0xE8, s.supportStatus);
    EXPECT_EQ(2, s.adapters);
    EXPECT_EQ(15, s.latencyMs);
    EXPECT_EQ("Z:\\tmp\\trace.txt", s.tracePath);
    EXPECT_EQ("/tmp/fw.bin", s.firmwarePath);
    ASSERT_EQ(2u, s.devices.size());
    const sim::DeviceSpec& d = s.devices[0];
    EXPECT_TRUE(d.drive);
    EXPECT_EQ("QUORVEN ", d.vendor);
    EXPECT_EQ("KV1A", d.revision);
    EXPECT_TRUE(d.discPresent);
    EXPECT_EQ(3, d.readyPolls);
    EXPECT_EQ(9000, d.commitMs);
    EXPECT_EQ("KV1B", d.newRevision);
    EXPECT_EQ(5, d.latencyMs);
    EXPECT_EQ(40, d.diesAfter);
    EXPECT_FALSE(s.devices[1].drive);
    EXPECT_EQ(std::string("FIXED \"X\"\0Z", 11), s.devices[1].product);
    EXPECT_EQ(0, s.devices[1].peripheralType);
    ASSERT_EQ(5u, s.faults.size());
    EXPECT_EQ(0x3C, s.faults[0].opcode);
    EXPECT_EQ(6, s.faults[0].occurrence);
    EXPECT_EQ(100, s.faults[0].corruptOffset);
    EXPECT_EQ(-1, s.faults[1].opcode);
    EXPECT_EQ(2, s.faults[1].senseKey);
    EXPECT_EQ(4, s.faults[1].asc);
    EXPECT_EQ(1, s.faults[1].ascq);
    EXPECT_EQ(30, s.faults[1].delayMs);
    EXPECT_TRUE(s.faults[2].never);
    EXPECT_EQ(1, s.faults[2].hostAdapter);
    EXPECT_EQ(0, s.faults[3].occurrence);
    EXPECT_EQ(0xE5, s.faults[3].status);
    const sim::Fault& lost = s.faults[4];
    EXPECT_EQ(ENODEV, lost.error);
    EXPECT_EQ(7, lost.hostStatus);
    EXPECT_EQ(6, lost.driverStatus);
    EXPECT_EQ(3, lost.residual);
    EXPECT_EQ(0x18, lost.scsiStatus);
    EXPECT_TRUE(lost.raise);
}

TEST(SimScenario, ReportsTheLineItCannotRead) {
    const char* bad[] = {
        "device 0:1 floppy\n",
        "device 0-1 kxd\n",
        "\ndevice 0:1 kxd disc=maybe\n",
        "fault 0:1 12 occurrence=0\n",
        "fault 0:1 XYZ never\n",
        "latency soon\n",
        "device 0:1 kxd vendor=\"OPEN\n",
        "fault 0:1 12 sense=1/2\n",
        "colour blue\n",
        // Times from 0 to a day: a due time past the end of its range was undefined (found by
        // the scenario fuzz target).
        "support-status 01\nadapters 33\nlatency 88888888888888888888888888880\n",
        "device 0:1 kxd latency=-5\n",
        "device 0:1 kxd commit-ms=86400001\n",
        "fault 0:1 3B delay=9223372036854775807\n",
        "fault 0:1 3B errno=EWHATEVER\n",
        "fault 0:1 3B host-status=100\n",
    };
    const int lines[] = {1, 1, 2, 1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1};
    for (size_t i = 0; i < std::size(bad); ++i) {
        sim::Scenario s;
        std::string error;
        EXPECT_FALSE(sim::Scenario::parse(bad[i], s, error)) << bad[i];
        EXPECT_EQ(0u, error.find("line " + std::to_string(lines[i]) + ":")) << error;
    }
    sim::Scenario s;
    std::string error;
    EXPECT_FALSE(sim::Scenario::load("/nonexistent/scenario.txt", s, error));
    EXPECT_NE(std::string::npos, error.find("cannot open"));
}

} // namespace
