// kxdflash on Windows 2000 and later: the CD-ROM drive letters through SCSI pass-through
// (\\.\X:, which needs administrator rights), or the simulated drive with --simulate.
#include <windows.h>

#include <cstdlib>

#include "app/console/bridged_drives.h"
#include "app/console/program.h"
#include "passthrough_win32.h"
#include "platform/win32/win32_console.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"
#include "sim/core/scenario.h"
#include "win32_file.h"

namespace {

using console::Exit;

void* retain(void* event) {
    HANDLE copy = nullptr;
    return DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(event), GetCurrentProcess(),
                           &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)
               ? copy
               : nullptr;
}

std::string reasonFor(DWORD error, Exit& exit) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
        exit = console::ExitPermission;
        return "access denied (SCSI pass-through needs administrator rights: run kxdflash from "
               "a command prompt started as administrator)";
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        exit = console::ExitBusy;
        return "busy (another program holds it)";
    default:
        exit = console::ExitNoDevice;
        return "error " + std::to_string(error);
    }
}

// A recording's file, closed with it.
struct ClosingFile : recorder::Win32File {
    ~ClosingFile() override {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};

// A drive letter in either case, with or without its backslash: D:, d:, D:\.
class WindowsDrives : public console::BridgedDrives {
public:
    using BridgedDrives::BridgedDrives;
    bool names(const console::DriveEntry& entry, const std::string& name) override {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        return (name.size() == 2 || (name.size() == 3 && name[2] == '\\')) && name[1] == ':' &&
               upper(name[0]) == upper(entry.name[0]);
    }
};

std::unique_ptr<console::DriveSource> systemDrives(const console::Options& options,
                                                   platform::System& system,
                                                   platform::Console& console, Exit& exit) {
    std::vector<console::FoundDevice> found;
    for (const bridge::win32::CdromDrive& d : bridge::win32::cdromDrives()) {
        console::FoundDevice f;
        f.entry.name = std::string(1, d.drive.letter) + ":";
        f.address = d.drive;
        f.lockName = std::string("drive-") + d.drive.letter;
        if (d.device == INVALID_HANDLE_VALUE) {
            f.entry.refusal = reasonFor(d.error, f.entry.refusalExit);
        } else {
            f.device.reset(new bridge::win32::PassThroughDevice(d.device, d.drive.addressed));
            if (d.drive.addressed) {
                f.entry.others = "SCSI address " + std::to_string(d.drive.port) + ":" +
                                 std::to_string(d.drive.path) + ":" +
                                 std::to_string(d.drive.target) + ":" + std::to_string(d.drive.lun);
            }
        }
        found.push_back(std::move(f));
    }
    auto drives = std::make_unique<WindowsDrives>(
        system,
        bridge::EventHooks{retain, [](void* e) { SetEvent(static_cast<HANDLE>(e)); },
                           [](void* e) { CloseHandle(static_cast<HANDLE>(e)); }},
        console,
        [](const std::string& path) -> std::unique_ptr<recorder::File> {
            auto file = std::make_unique<ClosingFile>();
            file->handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            return file->handle != INVALID_HANDLE_VALUE ? std::move(file) : nullptr;
        },
        options.verbose, options.record, std::move(found));
    if (!drives->recording()) {
        console.err("kxdflash: cannot create the recording " + options.record + "\n");
        exit = console::ExitFileError;
        return nullptr;
    }
    return drives;
}

// The simulated drive: our simulated ASPI layer (KXDSIM.DLL, beside the program) with the bus of
// the scenario file, on the system's own time. Its drives are the scenario's devices.
class SimulatedDrives : public console::DriveSource {
public:
    SimulatedDrives(platform::System& system, const sim::Scenario& scenario,
                    platform::LibraryHandle library)
        : system_(system), library_(library) {
        for (const sim::DeviceSpec& d : scenario.devices) {
            console::DriveEntry e;
            e.name = std::to_string(d.hostAdapter) + ":" + std::to_string(d.target);
            e.slot.HostAdapter = d.hostAdapter;
            e.slot.Target = d.target;
            entries_.push_back(e);
        }
    }

    std::vector<console::DriveEntry>& entries() override { return entries_; }
    platform::System& system() override { return system_; }
    void connect(aspi::Layer& layer) override {
        layer.setEntryPoints(system_.procAddress(library_, "GetASPI32SupportInfo"),
                             system_.procAddress(library_, "SendASPI32Command"));
    }

private:
    platform::System& system_;
    platform::LibraryHandle library_;
    std::vector<console::DriveEntry> entries_;
};

std::unique_ptr<console::DriveSource> simulatedDrives(const std::string& scenarioPath,
                                                      platform::win32::Win32System& system,
                                                      platform::Console& console, Exit& exit) {
    sim::Scenario scenario;
    std::string error;
    if (!sim::Scenario::load(scenarioPath, scenario, error)) {
        console.err("kxdflash: " + scenarioPath + ": " + error + "\n");
        exit = console::ExitUsage;
        return nullptr;
    }
    // The layer reads its scenario from the environment, through the C library it shares with
    // the program.
    const std::string setting = "KXD_SIM_SCENARIO=" + scenarioPath;
    _putenv(setting.c_str());
    const std::string path = system.modulePath();
    const std::string layer = path.substr(0, path.find_last_of("\\/") + 1) + "KXDSIM.DLL";
    const platform::LibraryHandle library = system.loadLibrary(layer.c_str());
    if (library == 0) {
        console.err("kxdflash: --simulate needs the simulated drive's " + layer + "\n");
        exit = console::ExitFileError;
        return nullptr;
    }
    return std::make_unique<SimulatedDrives>(system, scenario, library);
}

} // namespace

int main(int argc, char** argv) {
    platform::win32::Win32Console console;
    platform::win32::Win32FileSystem files;
    platform::win32::Win32System system;
    platform::catchInterrupts("\r\nDo not interrupt: the drive is taking the new firmware (up to "
                              "40 seconds). Don't turn off the system.\r\n");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return console::runProgram(
        arguments, console, files,
        [&](const console::Options& options, Exit& exit) -> std::unique_ptr<console::DriveSource> {
            if (!options.simulate.empty()) {
                return simulatedDrives(options.simulate, system, console, exit);
            }
            return systemDrives(options, system, console, exit);
        });
}
