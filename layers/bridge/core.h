// The ASPI bridge's rules, apart from Windows: where each CD-ROM drive appears as a host adapter
// and target, which requests are refused at once, what a request asks of SCSI pass-through, and
// how the outcome goes back into the request block. The DLL (bridge.cpp) makes the Windows
// calls around them.
#pragma once

#include <cstdint>
#include <vector>

#include "aspi/request_block.h"
#include "aspi/session_trace.h"

namespace bridge {

// Every request may take this long unless its command says otherwise; the system ends it then.
// It is Linux's default for SG_IO, and what the flasher waits for fits in it: its commit's forty
// seconds (its own clock decides there) and the slowest healthy command, a load of some 20
// seconds.
constexpr uint32_t TimeLimitSeconds = 60;

// Sense bytes asked of pass-through at the most.
constexpr uint8_t SenseCapacity = 32;

// A CD-ROM drive and, where the system tells it (IOCTL_SCSI_GET_ADDRESS), its SCSI address.
struct Drive {
    char letter = 0;
    bool addressed = false;
    uint8_t port = 0, path = 0, target = 0, lun = 0;
};

// Where a drive appears to the program.
struct Place {
    uint8_t hostAdapter = 0, target = 0, lun = 0;
};

// The drives' places, in the drives' order: the drives on one SCSI port and path share a host
// adapter, with their own target and LUN; a drive without an address, or with the address of a
// drive before it, has a host adapter of its own, at target 0. Host adapters are numbered from
// 0 in the order their first drive comes.
std::vector<Place> placeDrives(const std::vector<Drive>& drives);
uint8_t adapterCount(const std::vector<Place>& places);

// The status a request is refused with at once, or SS_PENDING when it goes to the drive
// `drive` (an index into the places).
uint8_t accept(const aspi::RequestBlock& block, const std::vector<Place>& places, int& drive);

// What a request asks of pass-through.
struct Command {
    uint8_t cdb[16] = {};
    uint8_t cdbLength = 0;
    aspi::trace::Direction direction = aspi::trace::Direction::None;
    void* data = nullptr;
    uint32_t length = 0; // 0 without a direction
    uint8_t senseLength = 0;
    // How long the system gives it before it ends it.
    uint32_t limitMs = TimeLimitSeconds * 1000u;
};
Command commandFor(const aspi::RequestBlock& block);

// What pass-through gave back. Under Wine that is what became of the Linux SG_IO ioctl: its
// SCSI status, the length less its residual, the sense data; its host and driver status do not
// come through (layers/README.md has the whole table).
struct Outcome {
    bool delivered = false;   // the call succeeded
    uint8_t scsiStatus = 0;   // the target's status
    uint32_t transferred = 0; // bytes of data moved
    uint8_t senseLength = 0;  // sense bytes it wrote
    const uint8_t* sense = nullptr;
    uint32_t elapsedMs = 0;
    bool gone = false;     // it was not delivered, and the device has gone away
    bool timedOut = false; // the system says it ended the command at its time limit
    // The system's own words on it, where it gives them (Linux's SG_IO host and driver status,
    // an error number), for whoever shows them; the outcome above is read from the rest.
    uint16_t hostStatus = 0, driverStatus = 0;
    int error = 0;
};

// Writes the outcome into the block: the sense area, the adapter and target status and the
// residual count where asked for, then the status byte (a release store), which it returns.
// Only a completion with good status, in the time limit, with data moved where data should
// have moved, is a success (01h); a device gone away gives 82h, a request the system did not
// carry out 02h, anything else 04h.
uint8_t complete(aspi::RequestBlock& block, const Command& command, const Outcome& outcome);

} // namespace bridge
