// The simulated KXD-7316 behind the fake system, as every drive test sets it up: the bus with
// its devices and faults, the in-process ASPI library registered as "WNASPI32.DLL", and a layer
// given its two entry points the way the start-up loads them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_layer.h"
#include "platform/fake/fake_system.h"
#include "sim/inprocess/inprocess_aspi.h"

namespace simdrive {

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

// A fault for the drive at 0:1 on one command, at one occurrence (from 1) or every one (0).
inline sim::Fault fault(int opcode, int occurrence = 0) {
    sim::Fault f;
    f.hostAdapter = 0;
    f.target = 1;
    f.opcode = opcode;
    f.occurrence = occurrence;
    return f;
}

// The bus, registered with `system` for as long as it lives.
class Bus {
public:
    Bus(platform::fake::FakeSystem& system, sim::Scenario scenario)
        : system_(system), aspi_(new sim::InProcessAspi(system, std::move(scenario))) {}

    // Loads the library and hands its entry points to `layer`.
    void connect(aspi::Layer& layer) {
        const platform::LibraryHandle library = system_.loadLibrary("WNASPI32.DLL");
        layer.setEntryPoints(system_.procAddress(library, "GetASPI32SupportInfo"),
                             system_.procAddress(library, "SendASPI32Command"));
    }

    std::vector<sim::TraceEntry> trace() {
        return aspi_->inspect([](sim::Bus& b) { return b.trace(); });
    }
    sim::DeviceState drive() {
        return aspi_->inspect([](sim::Bus& b) { return *b.device(0, 1); });
    }
    template <typename F> auto inspect(F f) { return aspi_->inspect(f); }

private:
    platform::fake::FakeSystem& system_;
    std::unique_ptr<sim::InProcessAspi> aspi_;
};

} // namespace simdrive
