// kxdflash on Linux: the SCSI generic and CD-ROM nodes of /dev (or of the folder that
// KXDFLASH_DEVICE_DIR names) through SG_IO, or the simulated drive with --simulate.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "app/console/bridged_drives.h"
#include "app/console/program.h"
#include "platform/fake/fake_system.h"
#include "platform/posix/posix_console.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "sg_nodes.h"
#include "sim/inprocess/inprocess_aspi.h"
#include "sim/sgdevice/sg_device.h"

namespace {

using console::DriveEntry;
using console::Exit;

// A recording's file over a descriptor.
class DescriptorFile : public recorder::File {
public:
    explicit DescriptorFile(int fd) : fd_(fd) {}
    ~DescriptorFile() override { ::close(fd_); }
    bool writeAt(uint64_t offset, const void* data, std::size_t length) override {
        return ::pwrite(fd_, data, length, static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(length);
    }
    bool truncate(uint64_t length) override {
        return ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
    }

private:
    int fd_;
};

std::unique_ptr<recorder::File> openRecordingFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? nullptr : std::make_unique<DescriptorFile>(fd);
}

std::string reasonFor(bridge::sg::Refusal refusal, int error, Exit& exit) {
    using bridge::sg::Refusal;
    switch (refusal) {
    case Refusal::Permission:
        exit = console::ExitPermission;
        return "permission denied (it needs read and write access: root, or a member of the "
               "node's group)";
    case Refusal::Busy:
        exit = console::ExitBusy;
        return "busy (another program holds it)";
    case Refusal::Absent:
        exit = console::ExitNoDevice;
        return "no device behind the node";
    case Refusal::NotScsi:
        exit = console::ExitNoDevice;
        return "not a SCSI device";
    default:
        exit = console::ExitNoDevice;
        return std::string("error ") + std::to_string(error);
    }
}

class LinuxDrives : public console::BridgedDrives {
public:
    LinuxDrives(platform::System& system, platform::Console& console,
                const console::Options& options, std::vector<console::FoundDevice> found,
                std::vector<bridge::sg::Node> nodes, std::vector<bridge::sg::Node> all)
        : BridgedDrives(system,
                        {platform::posix::retainEvent, platform::posix::setEvent,
                         platform::posix::releaseEvent},
                        console, openRecordingFile, options.verbose, options.record,
                        std::move(found)),
          nodes_(std::move(nodes)), all_(std::move(all)) {}

    // A node named by another path (relative, a link) is the same file.
    bool names(const DriveEntry& entry, const std::string& name) override {
        const std::string identity = bridge::sg::fileIdentity(name);
        return entry.name == name ||
               (!identity.empty() && identity == bridge::sg::fileIdentity(entry.name));
    }

    bool mayFlash(const DriveEntry& entry, std::string& why, Exit& exit) override {
        const bridge::sg::Node* node = nodeOf(entry);
        if (node == nullptr || bridge::sg::passesWriteBuffer(*node)) {
            return true;
        }
        // Said before the first block: through this node the kernel would refuse the image.
        std::string generic;
        for (const bridge::sg::Node& n : all_) {
            if (n.kind == bridge::sg::NodeKind::Generic && !n.address.empty() &&
                n.address == node->address) {
                generic = n.path;
            }
        }
        why = entry.name +
              " is a CD-ROM node: the kernel lets WRITE BUFFER, which carries the image, "
              "through it only for a process with CAP_SYS_RAWIO (root). Use the drive's SCSI "
              "generic node " +
              (generic.empty() ? std::string("/dev/sgN (lsscsi -g names it)") : generic) +
              " with read and write access, or run kxdflash as root.";
        exit = console::ExitPermission;
        return false;
    }

private:
    const bridge::sg::Node* nodeOf(const DriveEntry& entry) const {
        for (const bridge::sg::Node& n : nodes_) {
            if (n.path == entry.name) {
                return &n;
            }
        }
        return nullptr;
    }

    std::vector<bridge::sg::Node> nodes_;
    std::vector<bridge::sg::Node> all_;
};

std::unique_ptr<console::DriveSource> systemDrives(const console::Options& options,
                                                   platform::System& system,
                                                   platform::Console& console, Exit& exit) {
    const char* folder = std::getenv("KXDFLASH_DEVICE_DIR");
    std::vector<bridge::sg::Node> all =
        bridge::sg::listNodes(folder != nullptr && *folder != '\0' ? folder : "/dev");
    std::vector<console::FoundDevice> found;
    std::vector<bridge::sg::Node> opened;
    std::vector<bool> taken(all.size(), false);
    // One entry a device: its nodes by address, the first one that opens (SCSI generic before
    // CD-ROM) serving it.
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (taken[i]) {
            continue;
        }
        console::FoundDevice f;
        std::vector<std::size_t> same{i};
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            if (!taken[j] && all[i].inTree && all[j].inTree && all[j].address == all[i].address) {
                same.push_back(j);
            }
        }
        for (std::size_t k : same) {
            taken[k] = true;
            bridge::sg::Node& node = all[k];
            if (f.device) {
                f.entry.others += (f.entry.others.empty() ? "" : ", ") + node.path;
                continue;
            }
            bridge::sg::Opened o = bridge::sg::open(node);
            if (o.device) {
                if (!f.entry.name.empty()) {
                    f.entry.others += (f.entry.others.empty() ? "" : ", ") + f.entry.name;
                }
                f.device = std::move(o.device);
                f.entry.name = node.path;
                f.entry.refusal.clear();
                f.address = node.drive;
                f.lockName = node.inTree ? node.address : bridge::sg::fileIdentity(node.path);
                opened.push_back(node);
            } else if (f.entry.name.empty()) {
                f.entry.name = node.path;
                f.entry.refusal = reasonFor(o.refusal, o.error, f.entry.refusalExit);
            } else {
                f.entry.others += (f.entry.others.empty() ? "" : ", ") + node.path;
            }
        }
        found.push_back(std::move(f));
    }
    auto drives = std::make_unique<LinuxDrives>(system, console, options, std::move(found),
                                                std::move(opened), all);
    if (!drives->recording()) {
        console.err("kxdflash: cannot create the recording " + options.record + "\n");
        exit = console::ExitFileError;
        return nullptr;
    }
    return drives;
}

// The simulated drive: the bus of the scenario file in-process, on simulated time. Its drives
// are the scenario's devices, or those a recorded session to replay talked to, in order.
class SimulatedDrives : public console::DriveSource {
public:
    SimulatedDrives(sim::Scenario scenario, platform::Console& console)
        : aspi_(fake_, scenario), console_(console) {
        std::vector<std::pair<int, int>> places;
        for (const sim::DeviceSpec& d : scenario.devices) {
            places.emplace_back(d.hostAdapter, d.target);
        }
        // A replay talks to the places the recorded program talked to.
        aspi_.inspect([&places](sim::Bus& bus) {
            for (const aspi::trace::Request& r : bus.replaySession().requests) {
                const std::pair<int, int> place(r.hostAdapter, r.target);
                if (std::find(places.begin(), places.end(), place) == places.end()) {
                    places.push_back(place);
                }
            }
            return 0;
        });
        for (const auto& place : places) {
            DriveEntry e;
            e.name = std::to_string(place.first) + ":" + std::to_string(place.second);
            e.slot.HostAdapter = static_cast<uint8_t>(place.first);
            e.slot.Target = static_cast<uint8_t>(place.second);
            entries_.push_back(e);
        }
    }

    std::vector<DriveEntry>& entries() override { return entries_; }
    platform::System& system() override { return fake_; }
    void connect(aspi::Layer& layer) override {
        const platform::LibraryHandle library = fake_.loadLibrary("WNASPI32.DLL");
        layer.setEntryPoints(fake_.procAddress(library, "GetASPI32SupportInfo"),
                             fake_.procAddress(library, "SendASPI32Command"));
    }
    bool finish() override {
        const std::vector<std::string> errors =
            aspi_.inspect([](sim::Bus& bus) { return bus.replayErrors(); });
        for (const std::string& error : errors) {
            console_.err("kxdflash: the replay: " + error + "\n");
        }
        return errors.empty();
    }

private:
    platform::fake::FakeSystem fake_;
    sim::InProcessAspi aspi_;
    platform::Console& console_;
    std::vector<DriveEntry> entries_;
};

} // namespace

int main(int argc, char** argv) {
    platform::posix::PosixConsole console;
    platform::posix::PosixFileSystem files;
    platform::posix::PosixSystem system("/proc/self/exe");
    platform::catchInterrupts("\nDo not interrupt: the drive is taking the new firmware (up to 40 "
                              "seconds). Don't turn off the system.\n");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return console::runProgram(
        arguments, console, files,
        [&](const console::Options& options, Exit& exit) -> std::unique_ptr<console::DriveSource> {
            if (options.simulate.empty()) {
                return systemDrives(options, system, console, exit);
            }
            sim::Scenario scenario;
            std::string error;
            if (!sim::SgDevice::loadScenario(options.simulate, scenario, error)) {
                console.err("kxdflash: " + options.simulate + ": " + error + "\n");
                exit = console::ExitUsage;
                return nullptr;
            }
            return std::make_unique<SimulatedDrives>(scenario, console);
        });
}
