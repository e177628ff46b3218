// The five drive commands, the drive slots they address and the process-wide drive data.
#pragma once

#include <cstdint>

#include "aspi/aspi_layer.h"
#include "aspi/scsi.h"
#include "platform/controls.h"
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

// Everything about the drives that lives as long as the program.
struct DriveData {
    // Fixed positions, in scan order.
    DriveSlot SlotTable[DriveSlotCount] = {{0, 0, ""}, {0, 1, ""}, {1, 0, ""},
                                           {1, 1, ""}, {2, 0, ""}, {2, 1, ""}};
    // Entry k: the number of the slot shown as item k of the drive list.
    int32_t ListMap[DriveSlotCount] = {};
    // Counted down by the flash procedure while it waits for the drive; XCmd sets it to 1.
    uint8_t ReadyWaitCounter = 0;
};

// The program's one instance.
DriveData& processDriveData();

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

// Each command fills the request block, submits it, waits, decodes the outcome, shows any
// message itself as a plain notice, and returns 1 for success or 0 for failure. A null slot (no
// current drive list item) sends nothing and returns 0 without a message; so does a missing
// ASPI entry point.
class DriveCommands {
public:
    // `progressBar` carries the transfer state (position = offset, step = length) and serves
    // as the commit request's clock; `driveList` is ComboBox1, whose current item selects the
    // drive.
    DriveCommands(Layer& layer, platform::System& system, platform::Dialogs& dialogs,
                  platform::ProgressBar& progressBar, platform::ComboBox& driveList,
                  DriveData& drives);

    // The slot named by the drive list map at the drive list's current item; null when there is
    // no current item (index -1) or the index or its map entry is out of range. Read anew for
    // every command.
    DriveSlot* selectedSlot();

    int CheckInquiry(DriveSlot* slot);
    int StartStopUnit(DriveSlot* slot, uint8_t value);
    int XCmd(DriveSlot* slot);
    int WriteBuffer(DriveSlot* slot, const void* data, uint8_t control);
    int ReadBuffer(DriveSlot* slot, void* buffer);

    // INQUIRY's event wait, and the commit request's clock in one-second ticks.
    static constexpr unsigned long InquiryTimeoutMs = 180000;
    static constexpr int CommitSeconds = 40;

private:
    enum class TellSense { No, Yes };

    // A fresh request block addressed to the slot, with the CDB length; null (nothing to send)
    // without a slot or without ASPI's entry points.
    RequestBlock* begin(const DriveSlot* slot, uint8_t cdbLength);
    // Decodes the outcome of the request just executed and tells the user what the command
    // leaves to it: a status other than completed or error as `statusError` (a format with one
    // %02X; null for none), and a check condition as "SenseCode: KK AA QQ" when asked to.
    Response finish(uint8_t status, const char* statusError, TellSense tellSense);
    void setTransfer(RequestBlock& block, void* data, uint8_t opcode, uint8_t mode,
                     uint8_t control);
    uint8_t commitClock();

    Layer& layer_;
    platform::System& system_;
    platform::Dialogs& dialogs_;
    platform::ProgressBar& progressBar_;
    platform::ComboBox& driveList_;
    DriveData& drives_;
};

} // namespace aspi
