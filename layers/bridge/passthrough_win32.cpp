#include "passthrough_win32.h"

// The SCSI ioctl codes are made with winioctl.h, which the lean windows.h leaves out.
#include <winioctl.h>

#include <ntddscsi.h>

#include <cstddef>

namespace bridge::win32 {

std::vector<CdromDrive> cdromDrives() {
    std::vector<CdromDrive> drives;
    const DWORD letters = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        const char letter = static_cast<char>('A' + i);
        const char root[] = {letter, ':', '\\', '\0'};
        if ((letters & (1u << i)) == 0 || GetDriveTypeA(root) != DRIVE_CDROM) {
            continue;
        }
        CdromDrive d;
        d.drive.letter = letter;
        const char name[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
        // Read and write access: a real device lets only read commands through otherwise.
        d.device =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (d.device == INVALID_HANDLE_VALUE) {
            d.error = GetLastError();
            drives.push_back(d);
            continue;
        }
        SCSI_ADDRESS address{};
        DWORD returned = 0;
        if (DeviceIoControl(d.device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                            &returned, nullptr)) {
            d.drive.addressed = true;
            d.drive.port = address.PortNumber;
            d.drive.path = address.PathId;
            d.drive.target = address.TargetId;
            d.drive.lun = address.Lun;
        }
        drives.push_back(d);
    }
    return drives;
}

namespace {

// After a pass-through that was not carried out: whether the device has gone away. Under Wine
// the error alone does not tell (a device gone and a kernel out of memory both come back as
// ERROR_GEN_FAILURE), but a device gone no longer answers the question for its address, which
// reaches the kernel only, not the drive.
bool deviceGone(HANDLE device, bool addressed, DWORD error) {
    constexpr DWORD NoSuchDevice = 433; // ERROR_NO_SUCH_DEVICE: Wine's word for ENXIO
    if (error == ERROR_DEV_NOT_EXIST || error == NoSuchDevice) {
        return true;
    }
    SCSI_ADDRESS address{};
    DWORD returned = 0;
    return addressed && !DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address,
                                         sizeof address, &returned, nullptr);
}

} // namespace

Outcome passThrough(HANDLE device, const Command& c, uint8_t* sense, bool addressed) {
    struct {
        SCSI_PASS_THROUGH_DIRECT header;
        uint8_t sense[SenseCapacity];
    } p{};
    p.header.Length = sizeof p.header;
    p.header.CdbLength = c.cdbLength;
    p.header.SenseInfoLength = c.senseLength;
    p.header.DataIn = c.direction == aspi::trace::Direction::In    ? SCSI_IOCTL_DATA_IN
                      : c.direction == aspi::trace::Direction::Out ? SCSI_IOCTL_DATA_OUT
                                                                   : SCSI_IOCTL_DATA_UNSPECIFIED;
    p.header.DataTransferLength = c.length;
    p.header.TimeOutValue = (c.limitMs + 999) / 1000;
    p.header.DataBuffer = c.data;
    p.header.SenseInfoOffset = offsetof(decltype(p), sense);
    for (int i = 0; i < c.cdbLength; ++i) {
        p.header.Cdb[i] = c.cdb[i];
    }
    DWORD returned = 0;
    // The same structure goes in and comes out; what came back is read from it, never from
    // the byte count.
    Outcome o;
    o.delivered = DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &p, sizeof p, &p,
                                  sizeof p, &returned, nullptr) != FALSE;
    if (!o.delivered) {
        const DWORD error = GetLastError();
        o.error = static_cast<int>(error);
        o.gone = deviceGone(device, addressed, error);
        return o;
    }
    o.scsiStatus = p.header.ScsiStatus;
    o.transferred = p.header.DataTransferLength;
    o.senseLength =
        p.header.SenseInfoLength < SenseCapacity ? p.header.SenseInfoLength : SenseCapacity;
    for (uint8_t i = 0; i < o.senseLength; ++i) {
        sense[i] = p.sense[i];
    }
    o.sense = sense;
    return o;
}

} // namespace bridge::win32
