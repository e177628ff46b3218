// The ASPI for Win32 "execute SCSI command" request block (SRB_ExecSCSICmd), exactly as the
// ASPI layer reads and writes it. Kept free of any other header so that the stand-in ASPI layer
// under sim/ shares the very same declaration.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aspi {

// Command code, status values and flags of the request block. The program uses the first of
// each; the others are what an ASPI layer of ours (layers/) answers or honours as well.
enum : uint8_t {
    SC_EXEC_SCSI_CMD = 0x02,

    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02, // the layer gave the request up
    SS_ERR = 0x04,
    SS_INVALID_CMD = 0x80,
    SS_INVALID_HA = 0x81,
    SS_NO_DEVICE = 0x82,
    SS_INVALID_SRB = 0xE0,  // a request block with wrong fields
    SS_FAILED_INIT = 0xE4,  // the layer could not start
    SS_ASPI_IS_BUSY = 0xE5, // no means to take a request
    SS_NO_ADAPTERS = 0xE8,

    SRB_POSTING = 0x01,               // call the post routine when done
    SRB_ENABLE_RESIDUAL_COUNT = 0x04, // put the residual count into the data length
    SRB_DIR_IN = 0x08,
    SRB_EVENT_NOTIFY = 0x40,
};

// Host adapter status: a target that does not answer selection; the time limit ran out; nothing
// came of a transfer.
constexpr uint8_t HASTAT_SEL_TO = 0x11;
constexpr uint8_t HASTAT_COMMAND_TIMEOUT = 0x0B;
constexpr uint8_t HASTAT_DO_DU = 0x12;

// Sense bytes asked for; the area itself is two bytes longer.
constexpr uint8_t SENSE_LEN = 14;

// Packed, so that the 64-bit layout has no padding after the one-byte fields that precede the
// pointer-wide ones. In the 32-bit build every field is naturally aligned anyway, and the
// record is the classic 80 bytes; in the 64-bit build the data address, the post field and the
// first reserved field are pointer-wide, as 64-bit ASPI layers expect, and the record is 92
// bytes.
#pragma pack(push, 1)
struct RequestBlock {
    uint8_t SRB_Cmd;    // SC_EXEC_SCSI_CMD
    uint8_t SRB_Status; // written by ASPI from its own thread: see loadStatus()
    uint8_t SRB_HaId;   // host adapter
    uint8_t SRB_Flags;  // SRB_DIR_IN, SRB_EVENT_NOTIFY
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;  // data length in bytes
    void* SRB_BufPointer; // data address, null without data
    uint8_t SRB_SenseLen; // SENSE_LEN
    uint8_t SRB_CDBLen;   // 6 or 12 here
    uint8_t SRB_HaStat;   // not read by the program
    uint8_t SRB_TargStat; // not read by the program
    void* SRB_PostProc;   // event handle with SRB_EVENT_NOTIFY, else null
    void* SRB_Rsvd2;
    uint8_t SRB_Rsvd3[16];
    uint8_t CDBByte[16];
    uint8_t SenseArea[SENSE_LEN + 2]; // byte 2 sense key, 12 ASC, 13 ASCQ
};
#pragma pack(pop)

// The fields from the data address on move with the pointer width P: the record is 68 + 3P
// bytes, the classic 80 in the 32-bit build and 92 in the 64-bit one.
constexpr std::size_t PointerSize = sizeof(void*);
static_assert(PointerSize == 4 || PointerSize == 8, "a 32-bit or 64-bit layout");
static_assert(alignof(RequestBlock) == 1, "the block is packed");
static_assert(offsetof(RequestBlock, SRB_Cmd) == 0, "layout");
static_assert(offsetof(RequestBlock, SRB_Status) == 1, "layout");
static_assert(offsetof(RequestBlock, SRB_HaId) == 2, "layout");
static_assert(offsetof(RequestBlock, SRB_Flags) == 3, "layout");
static_assert(offsetof(RequestBlock, SRB_Hdr_Rsvd) == 4, "layout");
static_assert(offsetof(RequestBlock, SRB_Target) == 8, "layout");
static_assert(offsetof(RequestBlock, SRB_Lun) == 9, "layout");
static_assert(offsetof(RequestBlock, SRB_Rsvd1) == 10, "layout");
static_assert(offsetof(RequestBlock, SRB_BufLen) == 12, "layout");
static_assert(offsetof(RequestBlock, SRB_BufPointer) == 16, "layout");
static_assert(offsetof(RequestBlock, SRB_SenseLen) == 16 + PointerSize, "layout");
static_assert(offsetof(RequestBlock, SRB_CDBLen) == 17 + PointerSize, "layout");
static_assert(offsetof(RequestBlock, SRB_HaStat) == 18 + PointerSize, "layout");
static_assert(offsetof(RequestBlock, SRB_TargStat) == 19 + PointerSize, "layout");
static_assert(offsetof(RequestBlock, SRB_PostProc) == 20 + PointerSize, "layout");
static_assert(offsetof(RequestBlock, SRB_Rsvd2) == 20 + 2 * PointerSize, "layout");
static_assert(offsetof(RequestBlock, SRB_Rsvd3) == 20 + 3 * PointerSize, "layout");
static_assert(offsetof(RequestBlock, CDBByte) == 36 + 3 * PointerSize, "layout");
static_assert(offsetof(RequestBlock, SenseArea) == 52 + 3 * PointerSize, "layout");
static_assert(sizeof(RequestBlock) == 68 + 3 * PointerSize, "80 bytes in 32 bits, 92 in 64");

// The status byte is written by the ASPI layer's thread while the program's thread reads it.
// The block has to stay a plain record with the layer's exact layout (a std::atomic member has
// no guaranteed layout and makes zero-filling the record undefined), so the byte is accessed
// with GCC's atomic built-ins on the plain field (what std::atomic_ref does in C++20); GCC and
// MinGW-GCC both provide them, and one-byte atomics are always lock-free on x86. The layer
// writes data and sense first and the status last with a release store; the acquire load here
// makes them visible together with the status.
inline uint8_t loadStatus(const RequestBlock& block) {
    return __atomic_load_n(&block.SRB_Status, __ATOMIC_ACQUIRE);
}

inline void storeStatus(RequestBlock& block, uint8_t status) {
    __atomic_store_n(&block.SRB_Status, status, __ATOMIC_RELEASE);
}

// Field helpers for the multi-byte big-endian numbers of the CDB.
inline void putBig24(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 16);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value);
}

inline uint32_t getBig24(const uint8_t* at) {
    return (uint32_t{at[0]} << 16) | (uint32_t{at[1]} << 8) | uint32_t{at[2]};
}

} // namespace aspi
