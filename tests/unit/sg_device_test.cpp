// The emulated drive's device node: SG_IO as the kernel takes and answers it, carried out by the
// simulated bus, on a clock of the test's own; the node's other ioctls.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>

#include "aspi/scsi.h"
#include "sim/sgdevice/sg_device.h"

namespace {

// A KXD-7316 at 0:1 taking `latency` ms a command, plus the faults given.
sim::Scenario drive(std::vector<sim::Fault> faults = {}, int64_t latency = 5) {
    sim::Scenario s;
    sim::DeviceSpec d;
    d.hostAdapter = 0;
    d.target = 1;
    d.revision = "KV80";
    d.latencyMs = latency;
    s.devices.push_back(d);
    s.faults = std::move(faults);
    return s;
}

// The node, on a clock that a wait moves on at once.
struct Node {
    int64_t now = 0;
    int scenarioReads = 0;
    sim::SgDevice device;
    explicit Node(sim::Scenario scenario = drive())
        : device(
              [this, scenario] {
                  ++scenarioReads;
                  return scenario;
              },
              sim::SgDevice::Clock{[this] { return now; },
                                   [this](int64_t t) { now = t > now ? t : now; }}) {}

    int ioctl(unsigned long request, void* argument, int& error) {
        return device.ioctl(request, argument, error);
    }
    std::vector<sim::TraceEntry> trace() {
        return device.inspect([](sim::Bus& b) { return b.trace(); });
    }
};

// One SG_IO header as Wine fills it, with its own buffers.
struct Command {
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> data;
    uint8_t sense[32] = {};
    sg_io_hdr_t h{};
    Command(std::vector<uint8_t> bytes, int direction, std::size_t length,
            unsigned senseLength = 32)
        : cdb(std::move(bytes)), data(length, 0xAA) {
        h.interface_id = 'S';
        h.cmd_len = static_cast<unsigned char>(cdb.size());
        h.cmdp = cdb.data();
        h.dxfer_direction = direction;
        h.dxfer_len = static_cast<unsigned>(length);
        h.dxferp = length != 0 ? data.data() : nullptr;
        h.mx_sb_len = static_cast<unsigned char>(senseLength);
        h.sbp = sense;
        h.timeout = 10000;
    }
};

std::vector<uint8_t> inquiry() {
    return {scsi::Inquiry, 0, 0, 0, scsi::InquiryLength, 0};
}
std::vector<uint8_t> testUnitReady() {
    return std::vector<uint8_t>(12, 0);
}
// Sixteen bytes into the download buffer at offset 0, and back.
const std::vector<uint8_t> WriteBuffer16 = {
    scsi::WriteBuffer, scsi::DownloadAndSave, scsi::FirmwareBufferId, 0, 0, 0, 0, 0, 16, 0, 0, 0};
const std::vector<uint8_t> ReadBuffer16 = {
    scsi::ReadBuffer, scsi::VendorSpecificRead, scsi::FirmwareBufferId, 0, 0, 0, 0, 0, 16, 0, 0, 0};

sim::Fault faultOn(int opcode) {
    sim::Fault f;
    f.target = 1;
    f.opcode = opcode;
    return f;
}

TEST(SgDevice, RefusesWhatTheKernelRefusesBeforeTheDriveSeesIt) {
    struct Row {
        const char* what;
        void (*spoil)(sg_io_hdr_t&);
        int error;
    };
    const Row rows[] = {
        {"another interface", [](sg_io_hdr_t& h) { h.interface_id = 'Q'; }, EINVAL},
        {"a CDB of 17 bytes", [](sg_io_hdr_t& h) { h.cmd_len = 17; }, EINVAL},
        {"a CDB of 5 bytes", [](sg_io_hdr_t& h) { h.cmd_len = 5; }, EMSGSIZE},
        {"data without a direction", [](sg_io_hdr_t& h) { h.dxfer_direction = SG_DXFER_NONE; },
         EINVAL},
        {"an unknown direction", [](sg_io_hdr_t& h) { h.dxfer_direction = 7; }, EINVAL},
        {"a scatter list", [](sg_io_hdr_t& h) { h.iovec_count = 2; }, EINVAL},
        {"more than the queue takes",
         [](sg_io_hdr_t& h) { h.dxfer_len = sim::SgDevice::MaxTransfer + 1; }, EIO},
        {"no data buffer", [](sg_io_hdr_t& h) { h.dxferp = nullptr; }, EFAULT},
        {"no sense buffer", [](sg_io_hdr_t& h) { h.sbp = nullptr; }, EFAULT},
    };
    Node node;
    for (const Row& row : rows) {
        Command c(inquiry(), SG_DXFER_FROM_DEV, scsi::InquiryLength);
        row.spoil(c.h);
        int error = 0;
        EXPECT_EQ(node.ioctl(SG_IO, &c.h, error), -1) << row.what;
        EXPECT_EQ(error, row.error) << row.what;
    }
    EXPECT_TRUE(node.trace().empty());
}

TEST(SgDevice, InquiryReturnsTheDrivesDataAfterItsLatency) {
    Node node;
    Command c(inquiry(), SG_DXFER_FROM_DEV, scsi::InquiryLength);
    int error = 0;
    ASSERT_EQ(node.ioctl(SG_IO, &c.h, error), 0);
    EXPECT_EQ(c.h.status, 0);
    EXPECT_EQ(c.h.host_status, 0);
    EXPECT_EQ(c.h.resid, 0);
    EXPECT_EQ(c.h.sb_len_wr, 0);
    EXPECT_EQ(c.h.duration, 5u);
    EXPECT_EQ(node.now, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&c.data[8]), 28), "QUORVEN KXD-7316        KV80");
    // The bus saw it at the drive's slot, its direction as the node saw it go.
    const std::vector<sim::TraceEntry> trace = node.trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].hostAdapter, 0);
    EXPECT_EQ(trace[0].target, 1);
    EXPECT_EQ(trace[0].flags, aspi::SRB_DIR_IN);
    EXPECT_TRUE(trace[0].completed);
}

TEST(SgDevice, CheckConditionCarriesTheSenseDataAsFarAsTheCallerTakesIt) {
    for (unsigned room : {32u, 8u, 0u}) {
        Node node;
        Command c(testUnitReady(), SG_DXFER_NONE, 0, room);
        int error = 0;
        ASSERT_EQ(node.ioctl(SG_IO, &c.h, error), 0);
        EXPECT_EQ(c.h.status, scsi::CheckCondition);
        EXPECT_EQ(c.h.masked_status, scsi::CheckCondition >> 1);
        EXPECT_EQ(c.h.driver_status, 0x08); // sense data came
        EXPECT_EQ(c.h.info & SG_INFO_CHECK, SG_INFO_CHECK);
        const unsigned written = room < scsi::FixedSenseLength ? room : scsi::FixedSenseLength;
        EXPECT_EQ(c.h.sb_len_wr, written) << room;
        if (written == scsi::FixedSenseLength) {
            EXPECT_EQ(c.sense[0], 0x70);
            EXPECT_EQ(c.sense[2], scsi::NotReady);
            EXPECT_EQ(c.sense[12], scsi::MediumNotPresent);
        }
        EXPECT_EQ(c.sense[written], 0) << "nothing beyond what was written";
    }
}

TEST(SgDevice, WrittenBlocksReadBackAndACorruptFaultShowsInTheRead) {
    sim::Fault corrupt = faultOn(scsi::ReadBuffer);
    corrupt.corruptOffset = 3;
    Node node(drive({corrupt}));
    Command write(WriteBuffer16, SG_DXFER_TO_DEV, 16);
    for (std::size_t i = 0; i < write.data.size(); ++i) {
        write.data[i] = static_cast<uint8_t>(i);
    }
    Command read(ReadBuffer16, SG_DXFER_FROM_DEV, 16);
    int error = 0;
    ASSERT_EQ(node.ioctl(SG_IO, &write.h, error), 0);
    ASSERT_EQ(node.ioctl(SG_IO, &read.h, error), 0);
    std::vector<uint8_t> expected = write.data;
    expected[3] ^= 0xFF;
    EXPECT_EQ(read.data, expected);
    EXPECT_EQ(node.trace()[0].flags, 0x10); // data out
}

TEST(SgDevice, ACommandTheDriveNeverCompletesEndsAtTheKernelsTimeLimit) {
    sim::Fault never = faultOn(scsi::TestUnitReady);
    never.never = true;
    for (unsigned timeout : {2000u, 0u}) {
        Node node(drive({never}));
        Command c(testUnitReady(), SG_DXFER_NONE, 0);
        c.h.timeout = timeout;
        int error = 0;
        ASSERT_EQ(node.ioctl(SG_IO, &c.h, error), 0);
        const unsigned limit = timeout != 0 ? timeout : sim::SgDevice::DefaultTimeoutMs;
        EXPECT_EQ(c.h.host_status, 0x03); // timed out
        EXPECT_EQ(c.h.status, 0);
        EXPECT_EQ(c.h.duration, limit);
        EXPECT_EQ(node.now, int64_t{limit});
        EXPECT_FALSE(node.trace()[0].completed);
    }
}

TEST(SgDevice, ACommandLongerThanTheTimeLimitIsCompletedByTheDriveLater) {
    Node node(drive({}, 3000));
    Command slow(inquiry(), SG_DXFER_FROM_DEV, scsi::InquiryLength);
    slow.h.timeout = 1000;
    Command next(testUnitReady(), SG_DXFER_NONE, 0);
    int error = 0;
    ASSERT_EQ(node.ioctl(SG_IO, &slow.h, error), 0);
    EXPECT_EQ(slow.h.host_status, 0x03);
    EXPECT_EQ(slow.data[8], 0xAA) << "the caller's buffer is not written after the ioctl ended";
    ASSERT_EQ(node.ioctl(SG_IO, &next.h, error), 0);
    const std::vector<sim::TraceEntry> trace = node.trace();
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_TRUE(trace[0].completed);
    EXPECT_EQ(slow.data[8], 0xAA);
}

TEST(SgDevice, WhatTheTransportMakesOfACommandAsTheGenericDriverReportsIt) {
    // An INQUIRY asking for 64 bytes (the drive has 36), at its first occurrence.
    struct Row {
        const char* what;
        void (*fault)(sim::Fault&);
        int result, error, host, driver, status, resid;
    };
    const Row rows[] = {
        {"a short answer", [](sim::Fault&) {}, 0, 0, 0, 0, 0, 64 - 36},
        {"lost on the way, nothing moved", [](sim::Fault& f) { f.hostStatus = 0x07; }, 0, 0, 7, 0,
         0, 64},
        {"lost, a residual of 0", [](sim::Fault& f) { f.hostStatus = 7, f.residual = 0; }, 0, 0, 7,
         0, 0, 0},
        {"a driver timeout", [](sim::Fault& f) { f.driverStatus = 0x06; }, 0, 0, 0, 6, 0, 64},
        {"busy", [](sim::Fault& f) { f.scsiStatus = 0x08; }, 0, 0, 0, 0, 0x08, 64},
        {"a reservation conflict", [](sim::Fault& f) { f.scsiStatus = 0x18; }, 0, 0, 0, 0, 0x18,
         64},
        {"EBUSY", [](sim::Fault& f) { f.error = EBUSY; }, -1, EBUSY, 0, 0, 0, 64},
        {"ENOMEM", [](sim::Fault& f) { f.error = ENOMEM; }, -1, ENOMEM, 0, 0, 0, 64},
        {"a bare status", [](sim::Fault& f) { f.status = aspi::SS_ERR; }, -1, EIO, 0, 0, 0, 64},
    };
    for (const Row& row : rows) {
        sim::Fault fault = faultOn(scsi::Inquiry);
        fault.occurrence = 1;
        row.fault(fault);
        Node node(drive({fault}));
        std::vector<uint8_t> cdb = inquiry();
        cdb[4] = 64;
        Command c(cdb, SG_DXFER_FROM_DEV, 64);
        int error = 0;
        EXPECT_EQ(node.ioctl(SG_IO, &c.h, error), row.result) << row.what;
        EXPECT_EQ(error, row.error) << row.what;
        if (row.result == 0) {
            EXPECT_EQ(c.h.host_status, row.host) << row.what;
            EXPECT_EQ(c.h.driver_status, row.driver) << row.what;
            EXPECT_EQ(c.h.status, row.status) << row.what;
            EXPECT_EQ(c.h.resid, row.resid) << row.what;
            EXPECT_EQ(c.h.info & SG_INFO_CHECK, row.resid == 28 ? 0 : SG_INFO_CHECK) << row.what;
        }
        EXPECT_EQ(c.data[8], row.resid == 28 ? 'Q' : 0xAA) << row.what;
    }
}

TEST(SgDevice, ADeviceThatStopsAnsweringHasGoneAwayWithItsNode) {
    sim::Scenario dying = drive();
    dying.devices[0].diesAfter = 1;
    Node node(dying);
    Command c(testUnitReady(), SG_DXFER_NONE, 0);
    int error = 0;
    ASSERT_EQ(node.ioctl(SG_IO, &c.h, error), 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(node.ioctl(SG_IO, &c.h, error), -1);
        EXPECT_EQ(error, ENODEV);
    }
    EXPECT_EQ(node.trace().size(), 2u) << "nothing reaches the bus once it has gone";
    uint32_t idLun[2] = {};
    EXPECT_EQ(node.ioctl(SCSI_IOCTL_GET_IDLUN, idLun, error), -1);
    EXPECT_EQ(error, ENODEV);
}

TEST(SgDevice, OtherRequestsOfTheNode) {
    Node node;
    int error = 0;
    uint32_t idLun[2] = {};
    ASSERT_EQ(node.ioctl(SCSI_IOCTL_GET_IDLUN, idLun, error), 0);
    EXPECT_EQ(idLun[0], 0x00000001u) << "host 0, channel 0, LUN 0, target 1";
    int version = 0;
    ASSERT_EQ(node.ioctl(SG_GET_VERSION_NUM, &version, error), 0);
    EXPECT_EQ(version, sim::SgDevice::SgVersion);
    cdrom_tochdr toc{};
    EXPECT_EQ(node.ioctl(CDROMREADTOCHDR, &toc, error), -1);
    EXPECT_EQ(error, ENOMEDIUM);
    EXPECT_EQ(node.ioctl(CDROMEJECT, nullptr, error), -1);
    EXPECT_EQ(error, ENOTTY);

    // Without a device in the scenario the node has no drive behind it.
    Node empty{sim::Scenario()};
    EXPECT_EQ(empty.ioctl(SCSI_IOCTL_GET_IDLUN, idLun, error), -1);
    EXPECT_EQ(error, ENXIO);
    Command c(inquiry(), SG_DXFER_FROM_DEV, scsi::InquiryLength);
    EXPECT_EQ(empty.ioctl(SG_IO, &c.h, error), -1);
    EXPECT_EQ(error, ENXIO);
}

TEST(SgDevice, TheScenarioIsReadWhenTheFirstRequestReachesTheDrive) {
    Node node;
    int error = 0;
    cdrom_tochdr toc{};
    node.ioctl(CDROMREADTOCHDR, &toc, error);
    EXPECT_EQ(node.scenarioReads, 0);
    Command c(testUnitReady(), SG_DXFER_NONE, 0);
    node.ioctl(SG_IO, &c.h, error);
    node.ioctl(SG_IO, &c.h, error);
    EXPECT_EQ(node.scenarioReads, 1);
}

TEST(SgDevice, ScenarioFilesNameTheirFilesRelativeToTheirFolder) {
    const std::string path = ::testing::TempDir() + "sg_device_scenario.txt";
    const std::string folder = path.substr(0, path.rfind('/'));
    std::ofstream(path) << "device 0:1 kxd\ntrace trace.txt\nsave-firmware /tmp/fw.bin\n";
    sim::Scenario s;
    std::string error;
    ASSERT_TRUE(sim::SgDevice::loadScenario(path, s, error)) << error;
    std::remove(path.c_str());
    EXPECT_EQ(s.tracePath, folder + "/trace.txt");
    EXPECT_EQ(s.firmwarePath, "/tmp/fw.bin");
    EXPECT_FALSE(sim::SgDevice::loadScenario(path, s, error));
}

} // namespace
