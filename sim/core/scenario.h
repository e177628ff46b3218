// What the simulated SCSI bus holds and how it misbehaves: built in code by unit tests, or
// read from the scenario file that KXD_SIM_SCENARIO names (format in sim/README.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct DeviceSpec {
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    // The KXD-7316 model (removable medium, firmware download) or any other device, which
    // answers INQUIRY and TEST UNIT READY only.
    bool drive = true;
    uint8_t peripheralType = 0x05;
    // Raw INQUIRY bytes, padded with blanks or cut to 8, 16 and 4; they may hold NULs.
    std::string vendor = "QUORVEN ";
    std::string product = "KXD-7316";
    std::string revision = "KV81";
    bool discPresent = false;
    // TEST UNIT READY answers "becoming ready" this many times after a disc is loaded.
    int readyPolls = 0;
    // How long the commit request takes, and the revision the drive reports afterwards
    // (empty: unchanged).
    int64_t commitMs = 3000;
    std::string newRevision;
    // Completion latency for this device; -1: the bus's.
    int64_t latencyMs = -1;
    // After this many requests the device no longer answers selection; -1: never.
    int diesAfter = -1;
};

// Applies to one command at one slot, at one occurrence (counted per slot and operation code,
// from 1) or at every one (0).
struct Fault {
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    int opcode = -1; // -1: any command
    int occurrence = 0;

    int status = -1;                      // complete with this status, nothing transferred
    int senseKey = -1, asc = 0, ascq = 0; // complete with 04h and this sense
    bool never = false;                   // never complete
    int64_t delayMs = -1;                 // complete after this long, otherwise as usual
    int64_t corruptOffset = -1; // flip this byte of the data a read returns or a write stores

    // The command never reaches the device: the transport fails it. On the emulated device node
    // these are what SG_IO reports (sim/README.md); on the simulated ASPI layer the request
    // completes with 04h, no sense data, and the target status given.
    int error = 0;         // the ioctl fails with this errno
    int hostStatus = -1;   // it ends with this host status, SCSI status good
    int driverStatus = -1; // it ends with this driver status, SCSI status good
    int64_t residual = -1; // with either: the residual count reported (-1: the whole length)
    int scsiStatus = -1;   // the target answers this status, without sense data
    // The layer's own code fails while taking the request: it throws an exception of no
    // standard type (an int), for the layers' guards against exceptions to catch.
    bool raise = false;
    bool lost() const { return error != 0 || hostStatus >= 0 || driverStatus >= 0; }
};

struct Scenario {
    uint8_t supportStatus = 0x01;
    uint8_t adapters = 3;
    int64_t latencyMs = 0;
    std::vector<DeviceSpec> devices;
    std::vector<Fault> faults;
    std::string tracePath;    // empty: no trace file
    std::string firmwarePath; // empty: the committed image is not saved
    // A recorded session (layers/README.md) to answer from instead of the devices, with its
    // side file beside it (same name, extension .BIN); with `replayTiming` each request takes
    // as long as it took when recorded.
    std::string replayPath;
    bool replayTiming = false;

    // Parses the scenario file format; on an error returns false and says why in `error`.
    static bool parse(const std::string& text, Scenario& scenario, std::string& error);
    // Reads and parses a file.
    static bool load(const std::string& path, Scenario& scenario, std::string& error);
};

} // namespace sim
