// The five drive commands, the drive slots they address and the process-wide drive data.
#pragma once

#include <cstdint>
#include <functional>

#include "aspi/aspi_layer.h"
#include "aspi/scsi.h"
#include "platform/dialogs.h"
#include "platform/system.h"

namespace aspi {

constexpr int DriveSlotCount = 6;
constexpr int DescriptionSize = 80;

// One of the six host adapter/target positions the program looks at; the LUN is always 0.
struct DriveSlot {
    uint8_t HostAdapter;
    uint8_t Target;
    // NUL-terminated; empty until the device in the slot answers INQUIRY.
    char Description[DescriptionSize];
};

// Everything about the drives that lives as long as the program (the process state holds the
// program's one instance).
struct DriveData {
    // Fixed positions, in scan order.
    DriveSlot SlotTable[DriveSlotCount] = {{0, 0, ""}, {0, 1, ""}, {1, 0, ""},
                                           {1, 1, ""}, {2, 0, ""}, {2, 1, ""}};
    // Entry k: the number of the slot shown as item k of the drive list.
    int32_t ListMap[DriveSlotCount] = {};
    // Counted down by the flash procedure while it waits for the drive; XCmd sets it to 1.
    uint8_t ReadyWaitCounter = 0;
};

// Vendor, product and the first two revision characters of every supported drive; the list
// ends with a null entry.
extern const char* const AcceptedIdentifications[];

// A finished request as a command judges it: the ASPI status, and the sense data of a check
// condition (status 04h).
struct Response {
    uint8_t status;
    scsi::Sense sense;
    bool done() const { return status == SS_COMP; }
    bool checkCondition() const { return status == SS_ERR; }
};

// The commit request's clock as it runs, for whoever shows it: Started (with the limit in
// seconds) before the first one-second wait, Ticked (with the seconds so far) after each second
// the request is still pending, EndedEarly (with the limit) when it is no longer pending before
// the limit.
enum class Clock { Started, Ticked, EndedEarly };
using ClockTick = std::function<void(Clock event, int seconds)>;

// Each command fills the request block, submits it, waits, decodes the outcome, shows any
// message itself as a plain notice, and returns 1 for success or 0 for failure. A null slot
// sends nothing and returns 0 without a message; so does a missing ASPI entry point.
class DriveCommands {
public:
    // `drives` holds the readiness counter that XCmd ends.
    DriveCommands(Layer& layer, platform::System& system, platform::Dialogs& dialogs,
                  DriveData& drives);

    int CheckInquiry(DriveSlot* slot);
    int StartStopUnit(DriveSlot* slot, uint8_t value);
    int XCmd(DriveSlot* slot);
    // `length` bytes of `data` into the drive's download buffer at `offset`. With a control
    // byte other than 0 it is the commit request: sent without waiting, then watched once a
    // second for at most CommitSeconds, each second told to `tick`.
    int WriteBuffer(DriveSlot* slot, uint32_t offset, const void* data, uint32_t length,
                    uint8_t control, const ClockTick& tick = ClockTick());
    // `length` bytes of the download buffer from `offset` into `buffer`.
    int ReadBuffer(DriveSlot* slot, uint32_t offset, void* buffer, uint32_t length);

    // The last command's polled request, or its commit request, was still pending at its time
    // limit and has been left to the layer; the user has been told.
    bool timedOut() const { return timedOut_; }

    // INQUIRY's event wait, and the commit request's clock in one-second ticks.
    static constexpr unsigned long InquiryTimeoutMs = 180000;
    static constexpr int CommitSeconds = 40;

    // How long a polled request may stay pending: ten times and more what the slowest healthy
    // drive needs, so that only a drive that has stopped answering meets the limit.
    // - TEST UNIT READY reports the drive's state without moving anything: well under 100 ms,
    //   up to about 1 s while the drive finishes a reset. 10 s.
    // - START STOP UNIT with load or start (3): closing the tray takes 2 to 3 s, spinning a disc
    //   up 2 to 3 s more, and a disc that is hard to recognise up to about 15 s: some 20 s at
    //   worst. 200 s.
    // - START STOP UNIT stop (0): spinning down from full speed takes 3 to 5 s; 6 s at worst.
    //   60 s.
    // - WRITE BUFFER of a 16 KiB data block: the block goes to the drive's download memory in a
    //   few milliseconds (16 KiB even at 3.3 MB/s, the slowest PIO mode, is 5 ms). A drive that
    //   wrote each block straight to its flash memory would need at most 40 s / 16 = 2.5 s,
    //   the commit request's own allowance spread over the image's sixteen blocks. 30 s.
    // - READ BUFFER of a 16 KiB block: from the download memory in milliseconds; 1 s at worst.
    //   10 s.
    static constexpr unsigned long TestUnitReadyLimitMs = 10000;
    static constexpr unsigned long StartUnitLimitMs = 200000;
    static constexpr unsigned long StopUnitLimitMs = 60000;
    static constexpr unsigned long WriteBlockLimitMs = 30000;
    static constexpr unsigned long ReadBlockLimitMs = 10000;

    // How long a poll re-reads at once before it rests between reads. A drive answers a command
    // that moves nothing (TEST UNIT READY, a block to or from its download memory) in a few
    // milliseconds; past QuickAnswerMs it is busy with something slow or has hung. START STOP
    // UNIT moves the tray or the disc and takes seconds: its poll rests from the start, which
    // adds at most a rest to a wait of seconds.
    static constexpr unsigned long QuickAnswerMs = 50;
    static constexpr unsigned long MechanicalAnswerMs = 0;

private:
    enum class TellSense { No, Yes };

    // A fresh request block addressed to the slot, with the CDB length; null (nothing to send)
    // without a slot or without ASPI's entry points.
    RequestBlock* begin(const DriveSlot* slot, uint8_t cdbLength);
    // Decodes the outcome of the request just executed and tells the user what the command
    // leaves to it: a status other than completed or error as `statusError` (a format with one
    // %02X; null for none), and a check condition as "SenseCode: KK AA QQ" when asked to.
    Response finish(uint8_t status, const char* statusError, TellSense tellSense);
    // WRITE BUFFER or READ BUFFER of the download buffer.
    void setTransfer(RequestBlock& block, uint8_t opcode, uint8_t mode, uint32_t offset, void* data,
                     uint32_t length, uint8_t control);
    // Waits for the submitted commit request; its status, SS_PENDING when the clock ran out.
    uint8_t awaitCommit(const ClockTick& tick);
    // Submits the request just built and polls it for at most `limitMs` (at once for
    // `quickMs`, then with rests). A request still pending then is retired and the user is told
    // which command the drive at `slot` did not answer; the result is SS_PENDING.
    uint8_t poll(const DriveSlot& slot, unsigned long limitMs,
                 unsigned long quickMs = QuickAnswerMs);

    Layer& layer_;
    platform::System& system_;
    platform::Dialogs& dialogs_;
    DriveData& drives_;
    bool timedOut_ = false;
};

} // namespace aspi
