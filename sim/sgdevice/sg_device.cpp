#include "sim/sgdevice/sg_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>

namespace sim {

namespace {

// Host status of a command the kernel gave up on (its time limit), and the driver status of
// one with sense data (include/scsi/scsi.h of the kernel).
constexpr uint16_t HostTimedOut = 0x03;
constexpr uint16_t DriverSense = 0x08;

// ASPI's direction bits, written into the request block as the node saw the command go.
constexpr uint8_t DirectionIn = aspi::SRB_DIR_IN;
constexpr uint8_t DirectionOut = 0x10;

// The node of a device at ASPI host adapter HA and target ID sits on SCSI host HA, channel 0,
// at that target ID, LUN 0: SCSI_IOCTL_GET_IDLUN packs them as the kernel does.
uint32_t idLun(const DeviceSpec& d) {
    return uint32_t{d.target} | (uint32_t{d.hostAdapter} << 24);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void resolve(std::string& path, const std::string& folder) {
    if (!path.empty() && path[0] != '/') {
        path = folder + "/" + path;
    }
}

} // namespace

SgDevice::SgDevice(std::function<Scenario()> scenario, Clock clock)
    : scenario_(std::move(scenario)), clock_(std::move(clock)) {}

SgDevice::~SgDevice() = default;

bool SgDevice::loadScenario(const std::string& path, Scenario& scenario, std::string& error) {
    if (!Scenario::load(path, scenario, error)) {
        return false;
    }
    const std::string folder = folderOf(path);
    resolve(scenario.tracePath, folder);
    resolve(scenario.firmwarePath, folder);
    resolve(scenario.replayPath, folder);
    return true;
}

Bus& SgDevice::bus() {
    if (!bus_) {
        bus_.reset(new Bus(scenario_()));
    }
    return *bus_;
}

const DeviceSpec* SgDevice::drive() {
    const std::vector<DeviceSpec>& devices = bus().scenario().devices;
    return devices.empty() ? nullptr : &devices.front();
}

int SgDevice::ioctl(unsigned long request, void* argument, int& error) {
    switch (request) {
    case SG_IO:
        return sgIo(*static_cast<sg_io_hdr*>(argument), error);
    case SG_GET_VERSION_NUM:
        *static_cast<int*>(argument) = SgVersion;
        return 0;
    case SCSI_IOCTL_GET_IDLUN: {
        std::lock_guard<std::mutex> hold(lock_);
        const DeviceSpec* d = drive();
        if (d == nullptr || gone_) {
            error = gone_ ? ENODEV : ENXIO;
            return -1;
        }
        // The second word is the host's unique number.
        auto* words = static_cast<uint32_t*>(argument);
        words[0] = idLun(*d);
        words[1] = d->hostAdapter;
        return 0;
    }
    case CDROMREADTOCHDR:
    case CDROMREADTOCENTRY:
        // Its tray holds nothing to read, whatever TEST UNIT READY says.
        error = ENOMEDIUM;
        return -1;
    default:
        error = ENOTTY;
        return -1;
    }
}

void SgDevice::settle(int64_t now) {
    bus().completeDue(now, *this);
    for (std::size_t i = 0; i < transfers_.size();) {
        if (aspi::loadStatus(transfers_[i]->block) != aspi::SS_PENDING) {
            transfers_.erase(transfers_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

int SgDevice::sgIo(sg_io_hdr& h, int& error) {
    // What the kernel refuses before a command goes out.
    const bool withData = h.dxfer_len != 0;
    const bool directionKnown =
        h.dxfer_direction == SG_DXFER_NONE || h.dxfer_direction == SG_DXFER_TO_DEV ||
        h.dxfer_direction == SG_DXFER_FROM_DEV || h.dxfer_direction == SG_DXFER_TO_FROM_DEV;
    if (h.interface_id != 'S' || h.cmd_len > 16 || h.iovec_count != 0 || !directionKnown ||
        (withData && h.dxfer_direction == SG_DXFER_NONE)) {
        error = EINVAL;
        return -1;
    }
    if (h.cmd_len < 6) {
        error = EMSGSIZE;
        return -1;
    }
    if (h.dxfer_len > MaxTransfer) {
        error = EIO;
        return -1;
    }
    if (h.cmdp == nullptr || (withData && h.dxferp == nullptr) ||
        (h.mx_sb_len != 0 && h.sbp == nullptr)) {
        error = EFAULT;
        return -1;
    }

    std::unique_lock<std::mutex> hold(lock_);
    const DeviceSpec* d = drive();
    if (d == nullptr || gone_) {
        // A device taken away: the generic driver answers ENODEV from then on.
        error = gone_ ? ENODEV : ENXIO;
        return -1;
    }
    // The command as a request block to the drive's slot, with a copy of the caller's buffer
    // (a read leaves the bytes it does not write as they were).
    auto transfer = std::make_unique<Transfer>();
    aspi::RequestBlock& block = transfer->block;
    block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    block.SRB_HaId = d->hostAdapter;
    block.SRB_Target = d->target;
    block.SRB_Flags = h.dxfer_direction == SG_DXFER_TO_DEV             ? DirectionOut
                      : withData && h.dxfer_direction != SG_DXFER_NONE ? DirectionIn
                                                                       : 0;
    block.SRB_SenseLen = aspi::SENSE_LEN;
    block.SRB_CDBLen = h.cmd_len;
    std::memcpy(block.CDBByte, h.cmdp, h.cmd_len);
    if (withData) {
        const auto* bytes = static_cast<const uint8_t*>(h.dxferp);
        transfer->data.assign(bytes, bytes + h.dxfer_len);
        block.SRB_BufLen = h.dxfer_len;
        block.SRB_BufPointer = transfer->data.data();
    }
    const int64_t start = clock_.now();
    settle(start);
    bus().submit(&block, start, *this);
    const TraceEntry entry = bus().trace().back();
    const int64_t due = entry.due;

    h.status = h.masked_status = h.msg_status = 0;
    h.host_status = h.driver_status = 0;
    h.sb_len_wr = 0;
    h.info = 0;
    // Nothing moved until the device says otherwise.
    h.resid = static_cast<int>(h.dxfer_len);
    const int64_t limit = start + (h.timeout != 0 ? h.timeout : DefaultTimeoutMs);
    if (due < 0 || due > limit) {
        // The kernel's time limit ends the ioctl; the drive completes the command when it is
        // due, into its own copy.
        transfers_.push_back(std::move(transfer));
        hold.unlock();
        clock_.waitUntil(limit);
        hold.lock();
        settle(clock_.now());
        h.host_status = HostTimedOut;
        h.info = SG_INFO_CHECK;
        h.duration = static_cast<unsigned>(limit - start);
        return 0;
    }
    hold.unlock();
    clock_.waitUntil(due);
    hold.lock();
    settle(clock_.now()); // this one among them
    h.duration = static_cast<unsigned>(clock_.now() - start);
    const uint8_t status = aspi::loadStatus(block);
    if (status == aspi::SS_COMP) {
        // The kernel reports a short transfer by its residual.
        const uint32_t moved = std::min(entry.transferred, h.dxfer_len);
        if (h.dxfer_direction != SG_DXFER_TO_DEV && moved != 0) {
            std::memcpy(h.dxferp, block.SRB_BufPointer, moved);
        }
        h.resid = static_cast<int>(h.dxfer_len - moved);
        return 0;
    }
    if (entry.error != 0) {
        error = entry.error;
        return -1;
    }
    if (entry.hostStatus != 0 || entry.driverStatus != 0) {
        // The transport ended it: good SCSI status, its host or driver status, and the residual
        // the low-level driver left (by default, nothing moved).
        h.host_status = static_cast<unsigned short>(entry.hostStatus);
        h.driver_status = static_cast<unsigned short>(entry.driverStatus);
        if (entry.residual >= 0) {
            h.resid = static_cast<int>(std::min<int64_t>(entry.residual, h.dxfer_len));
        }
        h.info = SG_INFO_CHECK;
        return 0;
    }
    if (status == aspi::SS_ERR && block.SRB_TargStat == scsi::CheckCondition) {
        // Fixed-format sense data: eight bytes and the additional length in byte 7.
        const std::size_t length =
            std::min<std::size_t>(8u + block.SenseArea[7], sizeof block.SenseArea);
        const std::size_t written = std::min<std::size_t>(length, h.mx_sb_len);
        if (written != 0) {
            std::memcpy(h.sbp, block.SenseArea, written);
        }
        h.sb_len_wr = static_cast<unsigned char>(written);
        h.status = scsi::CheckCondition;
        h.masked_status = scsi::CheckCondition >> 1;
        h.driver_status = DriverSense;
        h.info = SG_INFO_CHECK;
        return 0;
    }
    if (status == aspi::SS_ERR && block.SRB_TargStat != scsi::Good) {
        // Another status of the target (busy, reservation conflict), no sense data.
        h.status = block.SRB_TargStat;
        h.masked_status = static_cast<unsigned char>(block.SRB_TargStat >> 1);
        h.info = SG_INFO_CHECK;
        return 0;
    }
    if (status == aspi::SS_ERR && block.SRB_HaStat == aspi::HASTAT_SEL_TO) {
        // The device no longer answers: it went away, and the node with it.
        gone_ = true;
        error = ENODEV;
        return -1;
    }
    // The drive failed it without sense data (a fault with a bare status): the command did not
    // come through.
    error = EIO;
    return -1;
}

} // namespace sim
