// The simulated drive of a process the emulated node is used in: made at the first ioctl on the
// node, on the monotonic clock, with the scenario file KXD_SG_SCENARIO names (read when the
// first request reaches the drive). Without the variable the node holds one KXD-7316
// (revision KV81, tray empty) at host adapter 0, target 1; a scenario that cannot be read
// leaves it without a drive, and says why on the standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "sim/sgdevice/preload.h"
#include "sim/sgdevice/sg_device.h"

namespace {

int64_t monotonic() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

// Milliseconds since the library was loaded.
const int64_t start = monotonic();

int64_t now() {
    return monotonic() - start;
}

void waitUntil(int64_t due) {
    for (int64_t left = due - now(); left > 0; left = due - now()) {
        const timespec pause{static_cast<time_t>(left / 1000),
                             static_cast<long>(left % 1000) * 1000000};
        nanosleep(&pause, nullptr);
    }
}

sim::Scenario scenario() {
    sim::Scenario s;
    const char* path = std::getenv("KXD_SG_SCENARIO");
    if (path == nullptr || *path == '\0') {
        sim::DeviceSpec drive;
        drive.hostAdapter = 0;
        drive.target = 1;
        s.devices.push_back(drive);
        return s;
    }
    std::string error;
    if (!sim::SgDevice::loadScenario(path, s, error)) {
        std::fprintf(stderr, "kxd emulated drive: %s\n", error.c_str());
        return sim::Scenario();
    }
    return s;
}

} // namespace

extern "C" int kxd_sg_ioctl(unsigned long request, void* argument, int* error) {
    // Called from C (Wine's ntdll): nothing may be thrown through it. What fails in the drive's
    // own code fails the ioctl as the kernel fails a command that went wrong.
    try {
        // Kept until the process ends: a command the kernel's time limit gave up on may still
        // be completed by it.
        static sim::SgDevice* device =
            new sim::SgDevice(scenario, sim::SgDevice::Clock{now, waitUntil});
        return device->ioctl(request, argument, *error);
    } catch (...) {
        *error = EIO;
        return -1;
    }
}
