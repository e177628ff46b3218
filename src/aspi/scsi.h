// The SCSI names this program and its simulated drive speak: operation codes, target status,
// sense keys and additional sense codes, fixed-format sense data, the standard INQUIRY reply,
// and the KXD-7316's firmware download through WRITE BUFFER and READ BUFFER. Kept free of any
// other header so that the drive commands, the simulated bus and the tests share it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scsi {

// Operation codes.
enum Opcode : uint8_t {
    TestUnitReady = 0x00,
    Inquiry = 0x12,
    StartStopUnit = 0x1B,
    WriteBuffer = 0x3B,
    ReadBuffer = 0x3C
};

// The operation's name as the program tells it to the user.
inline const char* commandName(uint8_t opcode) {
    switch (opcode) {
    case TestUnitReady:
        return "TEST UNIT READY";
    case Inquiry:
        return "INQUIRY";
    case StartStopUnit:
        return "START STOP UNIT";
    case WriteBuffer:
        return "WRITE BUFFER";
    case ReadBuffer:
        return "READ BUFFER";
    default:
        return "a command";
    }
}

// Target status.
enum Status : uint8_t { Good = 0x00, CheckCondition = 0x02 };

// Sense keys.
enum SenseKey : uint8_t { NoSense = 0x00, NotReady = 0x02, IllegalRequest = 0x05 };

// Additional sense codes, and the one qualifier told apart (of LogicalUnitNotReady).
enum AdditionalSense : uint8_t {
    NoAdditionalSense = 0x00,
    LogicalUnitNotReady = 0x04,
    InvalidCommandOpcode = 0x20,
    InvalidFieldInCdb = 0x24,
    MediumNotPresent = 0x3A,
};
enum SenseQualifier : uint8_t { NoQualifier = 0x00, BecomingReady = 0x01 };

// The three sense values a command's outcome is judged by. The key is byte 2 as the device
// reported it (a device may set the flag bits above the key; none here does).
struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

inline bool operator==(const Sense& a, const Sense& b) {
    return a.key == b.key && a.asc == b.asc && a.ascq == b.ascq;
}

// Fixed-format sense data (response code 70h): the key in byte 2, the additional length in
// byte 7, the ASC in byte 12 and the ASCQ in byte 13.
constexpr std::size_t FixedSenseLength = 14;

inline Sense decodeFixedSense(const uint8_t* data) {
    return Sense{data[2], data[12], data[13]};
}

// Writes `sense` as fixed-format sense data into FixedSenseLength bytes (others left alone).
inline void encodeFixedSense(uint8_t* data, const Sense& sense) {
    for (std::size_t i = 0; i < FixedSenseLength; ++i) {
        data[i] = 0;
    }
    data[0] = 0x70;
    data[2] = sense.key;
    data[7] = FixedSenseLength - 8;
    data[12] = sense.asc;
    data[13] = sense.ascq;
}

// The standard INQUIRY reply as the program asks for it: 36 bytes, the identification (vendor
// 8, product 16, revision 4 bytes) from byte 8.
constexpr uint8_t InquiryLength = 36;
constexpr std::size_t IdentificationOffset = 8;
constexpr std::size_t IdentificationLength = 28;

// The KXD-7316's firmware download. WRITE BUFFER in mode 05h (download and save) stores a block
// into the drive's download buffer at the CDB's offset; with the vendor bit 80h in the control
// byte it is the commit request instead, which installs the downloaded image. READ BUFFER in
// mode 01h (vendor-specific) reads the download buffer back. Both name buffer 01h.
constexpr uint8_t DownloadAndSave = 0x05;
constexpr uint8_t VendorSpecificRead = 0x01;
constexpr uint8_t FirmwareBufferId = 0x01;
constexpr uint8_t CommitControl = 0x80;

} // namespace scsi
