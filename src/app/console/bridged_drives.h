// The system's SCSI devices as drives of the command-line flasher: each device the platform
// opened goes to the bridge inside the program, which places it at a host adapter and target
// and carries the drive commands' requests to it on a worker thread, each with a time limit a
// little longer than the drive command's own, so that the command's own limit speaks first.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/console/bridge_observer.h"
#include "app/console/console_system.h"
#include "app/console/drive_source.h"
#include "inprocess.h"

namespace console {

// The time limit the bridge gives a request: the drive command's own limit and five seconds
// more; the commit request (which its command watches for 40 seconds) and anything else get the
// bridge's 60 seconds.
uint32_t requestLimitMs(const bridge::Command& command);

// Opens (creates, or empties) a recording's file; null when it cannot.
using RecordingFile = std::function<std::unique_ptr<recorder::File>(const std::string& path)>;

// A device the platform found, opened or not.
struct FoundDevice {
    DriveEntry entry;                       // name, other names, refusal
    std::unique_ptr<bridge::Device> device; // null when it did not open
    bridge::Drive address;
    std::string lockName;
};

class BridgedDrives : public DriveSource {
public:
    // `events` sets events for the platform; `recording` is the recording's path, or empty.
    BridgedDrives(platform::System& system, bridge::EventHooks events, platform::Console& console,
                  const RecordingFile& openFile, bool verbose, const std::string& recording,
                  std::vector<FoundDevice> found);
    ~BridgedDrives() override;

    // False when the recording could not be created.
    bool recording() const { return !recordingFailed_; }

    std::vector<DriveEntry>& entries() override { return entries_; }
    platform::System& system() override { return system_; }
    void connect(aspi::Layer& layer) override;
    std::string lockName(const DriveEntry& entry) override;
    bool finish() override;
    bool idle() override;

protected:
    const FoundDevice* found(const DriveEntry& entry) const;

private:
    ConsoleSystem system_;
    platform::Console& console_;
    std::string recordingPath_;
    std::vector<FoundDevice> found_;
    std::vector<DriveEntry> entries_;
    std::unique_ptr<recorder::File> text_, side_;
    std::unique_ptr<recorder::Recording> recording_;
    bool recordingFailed_ = false;
    std::unique_ptr<BridgeObserver> observer_;
    std::unique_ptr<bridge::InProcessBridge> bridge_;
};

} // namespace console
