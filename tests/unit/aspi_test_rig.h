// A drive-command test bench: the fake platform, the in-process simulated ASPI layer loaded
// through the fake system's library loading, and the drive commands on top.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "aspi/scsi.h"
#include "platform/fake/fake_controls.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "sim/inprocess/inprocess_aspi.h"

namespace aspitest {

// A KXD-7316 at host adapter 0, target 1 (drive slot 1).
inline sim::DeviceSpec kxd(const std::string& revision = "KV81") {
    sim::DeviceSpec d;
    d.hostAdapter = 0;
    d.target = 1;
    d.revision = revision;
    return d;
}

inline sim::Scenario busWith(std::vector<sim::DeviceSpec> devices,
                             std::vector<sim::Fault> faults = {}) {
    sim::Scenario s;
    s.devices = std::move(devices);
    s.faults = std::move(faults);
    return s;
}

// A fault for slot 1 (0:1) on one command, every occurrence.
inline sim::Fault fault(int opcode) {
    sim::Fault f;
    f.hostAdapter = 0;
    f.target = 1;
    f.opcode = opcode;
    return f;
}

struct Rig {
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    platform::fake::FakeProgressBar bar;
    platform::fake::FakeComboBox driveList;
    aspi::DriveData drives;
    std::unique_ptr<sim::InProcessAspi> bus;
    std::unique_ptr<aspi::Layer> layer;
    std::unique_ptr<aspi::DriveCommands> commands;

    explicit Rig(sim::Scenario scenario) {
        bus.reset(new sim::InProcessAspi(system, std::move(scenario)));
        layer.reset(new aspi::Layer(system));
        const platform::LibraryHandle library = system.loadLibrary("WNASPI32.DLL");
        layer->setEntryPoints(system.procAddress(library, "GetASPI32SupportInfo"),
                              system.procAddress(library, "SendASPI32Command"));
        commands.reset(new aspi::DriveCommands(*layer, system, dialogs, bar, driveList, drives));
        // Slot 1 listed and selected, as the start-up scan leaves a single drive at 0:1.
        driveList.items = {"drive"};
        driveList.index = 0;
        drives.ListMap[0] = 1;
    }
    ~Rig() {
        commands.reset();
        layer.reset();
        bus.reset();
    }

    aspi::DriveSlot* slot() { return commands->selectedSlot(); }
    std::vector<sim::TraceEntry> trace() {
        return bus->inspect([](sim::Bus& b) { return b.trace(); });
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : dialogs.shown) {
            texts.push_back(box.text);
        }
        return texts;
    }
    // The transfer state of a data block.
    void block(int32_t offset, int32_t length = 16384) {
        bar.setMin(0);
        bar.setMax(262144);
        bar.setStep(length);
        bar.setPosition(offset);
    }
    // The commit request's settings, as the flash procedure makes them.
    void commitState() {
        bar.setPosition(0);
        bar.setMin(0);
        bar.setMax(40);
        bar.setStep(1);
    }
};

} // namespace aspitest
