// The simulated drive behind a Linux SCSI CD-ROM device node, as a program reaches it with
// ioctl: SG_IO (the generic SCSI command) with the kernel's checks and its way of reporting,
// the command itself carried out by the simulated bus (sim::Bus) on the scenario's first
// device, and the few other requests Wine makes of a CD-ROM. The preloaded library
// (preload.c) hands it every ioctl on the emulated node; a unit test calls it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/core/bus.h"

struct sg_io_hdr;

namespace sim {

class SgDevice : private EventHost {
public:
    // The device's time in milliseconds, and a wait until a time of it.
    struct Clock {
        std::function<int64_t()> now;
        std::function<void(int64_t)> waitUntil;
    };
    // How a command's transfer may be at the most, as the kernel's queue limit says.
    static constexpr uint32_t MaxTransfer = 64 * 1024;
    // The kernel's time limit for a command whose header gives none.
    static constexpr uint32_t DefaultTimeoutMs = 60000;
    // SG_GET_VERSION_NUM's answer: the sg driver 3.5.27.
    static constexpr int SgVersion = 30527;

    // `scenario` is asked for once, when the first request reaches the drive (a request that
    // does not, such as a read of the table of contents, leaves it unread).
    SgDevice(std::function<Scenario()> scenario, Clock clock);
    ~SgDevice() override;
    SgDevice(const SgDevice&) = delete;
    SgDevice& operator=(const SgDevice&) = delete;

    // What ioctl(node, request, argument) returns; where that is -1, `error` is errno.
    int ioctl(unsigned long request, void* argument, int& error);

    // Runs `f` on the bus (made first if it is not yet), e.g. to read the trace.
    template <typename F> auto inspect(F f) {
        std::lock_guard<std::mutex> hold(lock_);
        return f(bus());
    }

    // Reads a scenario file for the node; the files it names by relative paths (trace,
    // save-firmware, replay) are taken relative to the scenario file's folder.
    static bool loadScenario(const std::string& path, Scenario& scenario, std::string& error);

private:
    // A command as the bus holds it: its request block and the device's own copy of the data,
    // kept until the bus has completed it (in transfers_ when the kernel's time limit ended
    // the ioctl before).
    struct Transfer {
        aspi::RequestBlock block{};
        std::vector<uint8_t> data;
    };

    Bus& bus();
    const DeviceSpec* drive();
    int sgIo(sg_io_hdr& header, int& error);
    // Completes what is due by now and forgets the transfers the bus is done with.
    void settle(int64_t now);

    void* holdEvent(void*) override { return nullptr; }
    void signalEvent(void*) override {}
    void releaseEvent(void*) override {}

    std::function<Scenario()> scenario_;
    Clock clock_;
    std::mutex lock_;
    std::unique_ptr<Bus> bus_;
    std::vector<std::unique_ptr<Transfer>> transfers_;
    // The device went away (it stopped answering): the node fails every request since.
    bool gone_ = false;
};

} // namespace sim
