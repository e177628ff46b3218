// The Windows side of the bridge: the CD-ROM drive letters the system has, each opened as
// \\.\X: with its SCSI address where the system tells it, and a command carried out on one with
// IOCTL_SCSI_PASS_THROUGH_DIRECT (which Wine turns into Linux's SG_IO). The bridge DLL and the
// bridge inside the command-line flasher both go through here.
#pragma once

#include <windows.h>

#include <vector>

#include "inprocess.h"

namespace bridge::win32 {

struct CdromDrive {
    Drive drive;                          // its letter and address
    HANDLE device = INVALID_HANDLE_VALUE; // open for reading and writing, or not open
    DWORD error = 0;                      // why not
};

// Every CD-ROM drive letter, in order, each opened (or with the reason it did not open).
std::vector<CdromDrive> cdromDrives();

// Carries the command out and waits for it; `sense` (SenseCapacity bytes) takes the sense data.
// A command not carried out tells whether the device has gone away (`addressed`: the system
// told the device's SCSI address when it was opened).
Outcome passThrough(HANDLE device, const Command& command, uint8_t* sense, bool addressed);

// A drive opened by cdromDrives(), as the bridge inside a program has it; closed with it.
class PassThroughDevice : public Device {
public:
    PassThroughDevice(HANDLE device, bool addressed) : device_(device), addressed_(addressed) {}
    ~PassThroughDevice() override { CloseHandle(device_); }
    Outcome execute(const Command& command) override {
        return passThrough(device_, command, sense_, addressed_);
    }

private:
    HANDLE device_;
    bool addressed_;
    uint8_t sense_[SenseCapacity] = {};
};

} // namespace bridge::win32
