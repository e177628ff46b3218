// A drive-command test bench: the fake platform, the simulated drive loaded through the fake
// system's library loading, and the drive commands on top.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "aspi/scsi.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "sim_drive.h"

namespace aspitest {

using simdrive::busWith;
using simdrive::fault;
using simdrive::kxd;

// What the commit request's clock told, as a bar would show it.
struct ClockRecord {
    int limit = -1;    // from Started; -1 when the clock never started
    int position = -1; // 0 at the start, the seconds so far, the limit when it ended early
    int ticks = 0;
    bool endedEarly = false;
    bool inOrder = true; // every tick one second after the one before

    aspi::ClockTick tick() {
        return [this](aspi::Clock event, int seconds) {
            switch (event) {
            case aspi::Clock::Started:
                limit = seconds;
                position = 0;
                break;
            case aspi::Clock::Ticked:
                inOrder = inOrder && seconds == position + 1;
                position = seconds;
                ++ticks;
                break;
            case aspi::Clock::EndedEarly:
                endedEarly = true;
                position = seconds;
                break;
            }
        };
    }
};

struct Rig {
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    aspi::DriveData drives;
    ClockRecord clock;
    simdrive::Bus bus;
    std::unique_ptr<aspi::Layer> layer;
    std::unique_ptr<aspi::DriveCommands> commands;

    explicit Rig(sim::Scenario scenario) : bus(system, std::move(scenario)) {
        layer.reset(new aspi::Layer(system));
        bus.connect(*layer);
        commands.reset(new aspi::DriveCommands(*layer, system, dialogs, drives));
    }
    ~Rig() {
        commands.reset();
        layer.reset();
    }

    // The single drive, at 0:1.
    aspi::DriveSlot* slot() { return &drives.SlotTable[1]; }
    std::vector<sim::TraceEntry> trace() { return bus.trace(); }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : dialogs.shown) {
            texts.push_back(box.text);
        }
        return texts;
    }
    // A data block of the image.
    int write(uint32_t offset, const void* data, uint32_t length = 16384) {
        return commands->WriteBuffer(slot(), offset, data, length, 0x00, clock.tick());
    }
    int read(uint32_t offset, void* buffer, uint32_t length = 16384) {
        return commands->ReadBuffer(slot(), offset, buffer, length);
    }
    // The commit request as the flash procedure sends it: offset 0, one byte.
    int commit(const void* data) {
        return commands->WriteBuffer(slot(), 0, data, 1, scsi::CommitControl, clock.tick());
    }
};

} // namespace aspitest
