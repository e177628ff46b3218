#include "app/console/bridged_drives.h"

#include "aspi/drive_commands.h"
#include "aspi/scsi.h"

namespace console {

uint32_t requestLimitMs(const bridge::Command& c) {
    using aspi::DriveCommands;
    constexpr uint32_t Margin = 5000;
    switch (c.cdb[0]) {
    case scsi::Inquiry:
        return DriveCommands::InquiryTimeoutMs + Margin;
    case scsi::TestUnitReady:
        return DriveCommands::TestUnitReadyLimitMs + Margin;
    case scsi::StartStopUnit:
        return ((c.cdb[4] & 0x03) != 0 ? DriveCommands::StartUnitLimitMs
                                       : DriveCommands::StopUnitLimitMs) +
               Margin;
    case scsi::WriteBuffer:
        return c.cdb[9] == 0 ? DriveCommands::WriteBlockLimitMs + Margin
                             : bridge::TimeLimitSeconds * 1000u;
    case scsi::ReadBuffer:
        return DriveCommands::ReadBlockLimitMs + Margin;
    default:
        return bridge::TimeLimitSeconds * 1000u;
    }
}

BridgedDrives::BridgedDrives(platform::System& inner, bridge::EventHooks events,
                             platform::Console& console, const RecordingFile& openFile,
                             bool verbose, const std::string& recording,
                             std::vector<FoundDevice> found)
    : system_(inner), console_(console), recordingPath_(recording), found_(std::move(found)) {
    if (!recording.empty()) {
        const std::string side =
            recording.size() > 4 && (recording.compare(recording.size() - 4, 4, ".TXT") == 0 ||
                                     recording.compare(recording.size() - 4, 4, ".txt") == 0)
                ? recording.substr(0, recording.size() - 4) + ".BIN"
                : recording + ".BIN";
        text_ = openFile(recording);
        side_ = openFile(side);
        if (text_ && side_) {
            recording_.reset(new recorder::Recording(*text_, *side_));
            recordingFailed_ = !recording_->begin({"program kxdflash"});
        } else {
            recordingFailed_ = true;
        }
        if (recordingFailed_) {
            recording_.reset();
        }
    }
    std::vector<bridge::Drive> addresses;
    std::vector<bridge::Device*> devices;
    std::vector<std::string> names;
    for (FoundDevice& f : found_) {
        if (f.device) {
            addresses.push_back(f.address);
            devices.push_back(f.device.get());
            names.push_back(f.entry.name);
        }
    }
    const platform::EventHandle completions = system_.completions();
    const auto set = events.set;
    observer_.reset(new BridgeObserver(
        console, verbose, recording_.get(), names, [this] { return system_.tickCount(); },
        [set, completions] { set(completions); }));
    platform::Worker* worker = devices.empty() ? nullptr : platform::startWorker();
    bridge_.reset(new bridge::InProcessBridge(addresses, devices, worker, events, *observer_,
                                              requestLimitMs,
                                              [this] { return system_.tickCount(); }));
    std::size_t placed = 0;
    for (FoundDevice& f : found_) {
        if (f.device) {
            const bridge::Place& p = bridge_->places()[placed++];
            f.entry.slot.HostAdapter = p.hostAdapter;
            f.entry.slot.Target = p.target;
        }
        entries_.push_back(f.entry);
    }
    if (recording_) {
        recording_->support(observer_->now(), bridge::InProcessBridge::GetASPI32SupportInfo());
    }
}

BridgedDrives::~BridgedDrives() = default;

bool BridgedDrives::idle() {
    return bridge_->idle();
}

void BridgedDrives::connect(aspi::Layer& layer) {
    layer.setEntryPoints(&bridge::InProcessBridge::GetASPI32SupportInfo,
                         &bridge::InProcessBridge::SendASPI32Command);
}

const FoundDevice* BridgedDrives::found(const DriveEntry& entry) const {
    for (const FoundDevice& f : found_) {
        if (f.entry.name == entry.name) {
            return &f;
        }
    }
    return nullptr;
}

std::string BridgedDrives::lockName(const DriveEntry& entry) {
    const FoundDevice* f = found(entry);
    return f != nullptr ? f->lockName : std::string();
}

bool BridgedDrives::finish() {
    // The recording is whole at every step; what a drive never answered stands in it as pending.
    if (!recording_ || !recording_->failed()) {
        return true;
    }
    console_.err("kxdflash: the recording " + recordingPath_ + " could not be written\n");
    return false;
}

} // namespace console
