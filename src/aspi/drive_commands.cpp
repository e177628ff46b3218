#include "aspi/drive_commands.h"

#include <cstring>
#include <string>

#include "platform/text_format.h"

namespace aspi {

const char* const AcceptedIdentifications[] = {"QUORVEN KXD-7316        KV", nullptr};

namespace {

// A request that the drive has not answered in its time stays with ASPI, and only a restart
// of the system frees the drive from it; turning the power off mid-way is what must not happen.
const char* const NoAnswerFormat =
    "The drive at HA#%d - ID#%d did not answer %s in %u seconds.\n\n"
    "Don't turn off the system. Restart it and run the flasher again.";

} // namespace

DriveCommands::DriveCommands(Layer& layer, platform::System& system, platform::Dialogs& dialogs,
                             DriveData& drives)
    : layer_(layer), system_(system), dialogs_(dialogs), drives_(drives) {}

RequestBlock* DriveCommands::begin(const DriveSlot* slot, uint8_t cdbLength) {
    timedOut_ = false;
    if (slot == nullptr || !layer_.hasEntryPoints()) {
        return nullptr;
    }
    RequestBlock& block = layer_.newRequest();
    block.SRB_HaId = slot->HostAdapter;
    block.SRB_Target = slot->Target;
    block.SRB_Flags = 0;
    block.SRB_SenseLen = SENSE_LEN;
    block.SRB_CDBLen = cdbLength;
    return &block;
}

Response DriveCommands::finish(uint8_t status, const char* statusError, TellSense tellSense) {
    Response response{status, {}};
    if (status == SS_ERR) {
        // Still the current request: only a request that did not complete is retired.
        response.sense = scsi::decodeFixedSense(layer_.request().SenseArea);
        if (tellSense == TellSense::Yes) {
            dialogs_.notice(
                platform::formatText("SenseCode: %02X %02X %02X", unsigned{response.sense.key},
                                     unsigned{response.sense.asc}, unsigned{response.sense.ascq}));
        }
    } else if (status != SS_COMP && status != SS_PENDING && statusError != nullptr) {
        dialogs_.notice(platform::formatText(statusError, unsigned{status}));
    }
    return response;
}

int DriveCommands::CheckInquiry(DriveSlot* slot) {
    RequestBlock* block = begin(slot, 6);
    if (block == nullptr) {
        return 0;
    }
    // The reply buffer comes from the layer: if the wait below gives up, ASPI may still write
    // into it, and the layer keeps it until then.
    uint8_t* reply = layer_.allocateBuffer(scsi::InquiryLength);
    if (reply == nullptr) {
        return 0;
    }
    std::memset(reply, 0, scsi::InquiryLength);
    block->SRB_BufLen = scsi::InquiryLength;
    block->SRB_BufPointer = reply;
    block->CDBByte[0] = scsi::Inquiry; // standard data
    block->CDBByte[4] = scsi::InquiryLength;
    block->SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    const Response response =
        finish(layer_.executeWithEvent(InquiryTimeoutMs), nullptr, TellSense::No);

    int result = 0;
    if (response.done()) {
        // Vendor, product and revision; the precision stops at 28 bytes or an earlier NUL.
        const uint8_t* identification = reply + scsi::IdentificationOffset;
        const std::string description =
            platform::formatText("HA#%d - ID#%d :  %28.28s", int{slot->HostAdapter},
                                 int{slot->Target}, reinterpret_cast<const char*>(identification));
        const std::size_t length = description.size() < sizeof slot->Description
                                       ? description.size()
                                       : sizeof slot->Description - 1;
        std::memcpy(slot->Description, description.data(), length);
        slot->Description[length] = '\0';
        const char revisionDigit = slot->Description[41];
        for (const char* const* entry = AcceptedIdentifications; *entry != nullptr; ++entry) {
            if (std::memcmp(identification, *entry, std::strlen(*entry)) == 0 &&
                revisionDigit >= '0' && revisionDigit <= '9') {
                result = 1;
                break;
            }
        }
    }
    layer_.releaseBuffer(reply);
    return result;
}

int DriveCommands::StartStopUnit(DriveSlot* slot, uint8_t value) {
    RequestBlock* block = begin(slot, 12);
    if (block == nullptr) {
        return 0;
    }
    block->CDBByte[0] = scsi::StartStopUnit; // not immediate
    block->CDBByte[4] = value;
    // Moving the tray or the disc takes long; stopping alone less.
    const unsigned long limit = (value & 0x03) != 0 ? StartUnitLimitMs : StopUnitLimitMs;
    // The flash procedure goes on whatever this command reports: telling the user about the
    // drive's complaint would only add a box to close before the real check (the readiness
    // polls) speaks.
    return finish(poll(*slot, limit, MechanicalAnswerMs), "StartStop-Unit Command Error: %02X",
                  TellSense::No)
        .done();
}

int DriveCommands::XCmd(DriveSlot* slot) {
    RequestBlock* block = begin(slot, 12); // TEST UNIT READY: all twelve bytes zero
    if (block == nullptr) {
        return 0;
    }
    block->CDBByte[0] = scsi::TestUnitReady;
    const Response response =
        finish(poll(*slot, TestUnitReadyLimitMs), "Command Error: %02X", TellSense::No);
    if (timedOut_) {
        drives_.ReadyWaitCounter = 1; // a drive that does not answer is not polled again
        return 0;
    }
    const bool discPresent =
        response.done() || (response.checkCondition() && response.sense.key == scsi::NoSense &&
                            response.sense.asc == scsi::NoAdditionalSense);
    if (discPresent) {
        drives_.ReadyWaitCounter = 1; // the caller's next count-down ends its polling
        dialogs_.notice("Remove disc, befor to do the flash task.");
        return 0;
    }
    // Not ready, medium not present: the tray is empty. Any other sense: poll again.
    return response.checkCondition() && response.sense.key == scsi::NotReady &&
                   response.sense.asc == scsi::MediumNotPresent
               ? 1
               : 0;
}

void DriveCommands::setTransfer(RequestBlock& block, uint8_t opcode, uint8_t mode, uint32_t offset,
                                void* data, uint32_t length, uint8_t control) {
    block.SRB_BufLen = length;
    block.SRB_BufPointer = data;
    block.CDBByte[0] = opcode;
    block.CDBByte[1] = mode;
    block.CDBByte[2] = scsi::FirmwareBufferId;
    putBig24(&block.CDBByte[3], offset);
    putBig24(&block.CDBByte[6], length);
    block.CDBByte[9] = control;
}

uint8_t DriveCommands::poll(const DriveSlot& slot, unsigned long limitMs, unsigned long quickMs) {
    const uint8_t opcode = layer_.request().CDBByte[0];
    const uint8_t status = layer_.executePolling(limitMs, quickMs);
    if (status == SS_PENDING) {
        timedOut_ = true;
        dialogs_.notice(platform::formatText(NoAnswerFormat, int{slot.HostAdapter},
                                             int{slot.Target}, scsi::commandName(opcode),
                                             static_cast<unsigned>(limitMs / 1000)));
    }
    return status;
}

uint8_t DriveCommands::awaitCommit(const ClockTick& tick) {
    const auto tell = [&tick](Clock event, int seconds) {
        if (tick) {
            tick(event, seconds);
        }
    };
    tell(Clock::Started, CommitSeconds);
    int elapsed = 0;
    while (elapsed < CommitSeconds) {
        system_.sleep(1000);
        if (layer_.status() != SS_PENDING) {
            break;
        }
        ++elapsed;
        tell(Clock::Ticked, elapsed);
    }
    // Read once more: a request that completed after the last second still counts.
    const uint8_t status = layer_.status();
    if (elapsed < CommitSeconds) {
        tell(Clock::EndedEarly, CommitSeconds);
    }
    return status;
}

int DriveCommands::WriteBuffer(DriveSlot* slot, uint32_t offset, const void* data, uint32_t length,
                               uint8_t control, const ClockTick& tick) {
    RequestBlock* block = begin(slot, 12);
    if (block == nullptr) {
        return 0;
    }
    // ASPI only reads the data of a write; the block's field is not const.
    setTransfer(*block, scsi::WriteBuffer, scsi::DownloadAndSave, offset, const_cast<void*>(data),
                length, control);
    uint8_t status;
    if (control == 0) {
        status = poll(*slot, WriteBlockLimitMs);
    } else {
        layer_.submit();
        status = awaitCommit(tick);
        if (status == SS_PENDING) {
            // No abort exists: the request and the buffer it reads stay with the layer.
            layer_.abandon();
            timedOut_ = true;
            dialogs_.notice("Flash timeout !");
            return 0;
        }
    }
    return finish(status, "Write-Buf Command Error: %02X", TellSense::Yes).done();
}

int DriveCommands::ReadBuffer(DriveSlot* slot, uint32_t offset, void* buffer, uint32_t length) {
    RequestBlock* block = begin(slot, 12);
    if (block == nullptr) {
        return 0;
    }
    setTransfer(*block, scsi::ReadBuffer, scsi::VendorSpecificRead, offset, buffer, length, 0x00);
    block->SRB_Flags = 0; // direction from the command
    return finish(poll(*slot, ReadBlockLimitMs), "Read-Buf Command Error: %02X", TellSense::Yes)
        .done();
}

} // namespace aspi
