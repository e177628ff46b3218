#include "aspi/drive_commands.h"

#include <cstring>

#include "platform/text_format.h"

namespace aspi {

DriveData& processDriveData() {
    static DriveData data;
    return data;
}

const char* const AcceptedIdentifications[] = {"QUORVEN KXD-7316        KV", nullptr};

namespace {

constexpr uint32_t InquiryLength = 36;

uint8_t senseKey(const RequestBlock& block) {
    return block.SenseArea[2];
}
uint8_t senseCode(const RequestBlock& block) {
    return block.SenseArea[12];
}

} // namespace

DriveCommands::DriveCommands(Layer& layer, platform::System& system, platform::Dialogs& dialogs,
                             platform::ProgressBar& progressBar, platform::ComboBox& driveList,
                             DriveData& drives)
    : layer_(layer), system_(system), dialogs_(dialogs), progressBar_(progressBar),
      driveList_(driveList), drives_(drives) {}

DriveSlot* DriveCommands::selectedSlot() {
    const int index = driveList_.itemIndex();
    if (index < 0 || index >= DriveSlotCount || index >= driveList_.itemCount()) {
        return nullptr;
    }
    const int32_t number = drives_.ListMap[index];
    if (number < 0 || number >= DriveSlotCount) {
        return nullptr;
    }
    return &drives_.SlotTable[number];
}

RequestBlock& DriveCommands::begin(const DriveSlot& slot) {
    RequestBlock& block = layer_.newRequest();
    block.SRB_HaId = slot.HostAdapter;
    block.SRB_Target = slot.Target;
    block.SRB_Flags = 0;
    block.SRB_SenseLen = SENSE_LEN;
    return block;
}

void DriveCommands::notice(const char* format, unsigned value) {
    dialogs_.notice(platform::formatText(format, value));
}

void DriveCommands::senseNotice(const RequestBlock& block) {
    dialogs_.notice(platform::formatText("SenseCode: %02X %02X %02X", unsigned{block.SenseArea[2]},
                                         unsigned{block.SenseArea[12]},
                                         unsigned{block.SenseArea[13]}));
}

int DriveCommands::CheckInquiry(DriveSlot* slot) {
    if (slot == nullptr || !layer_.hasEntryPoints()) {
        return 0;
    }
    // The reply buffer comes from the layer: if the wait below gives up, ASPI may still write
    // into it, and the layer keeps it until then.
    uint8_t* reply = layer_.allocateBuffer(InquiryLength);
    if (reply == nullptr) {
        return 0;
    }
    std::memset(reply, 0, InquiryLength);
    RequestBlock& block = begin(*slot);
    block.SRB_BufLen = InquiryLength;
    block.SRB_BufPointer = reply;
    block.SRB_CDBLen = 6;
    block.CDBByte[0] = 0x12; // INQUIRY, standard data
    block.CDBByte[4] = InquiryLength;
    block.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    const uint8_t status = layer_.executeWithEvent(InquiryTimeoutMs);

    int result = 0;
    if (status == SS_COMP) {
        // Vendor, product and revision; the precision stops at 28 bytes or an earlier NUL.
        const std::string description =
            platform::formatText("HA#%d - ID#%d :  %28.28s", int{slot->HostAdapter},
                                 int{slot->Target}, reinterpret_cast<const char*>(reply + 8));
        const std::size_t length = description.size() < sizeof slot->Description
                                       ? description.size()
                                       : sizeof slot->Description - 1;
        std::memcpy(slot->Description, description.data(), length);
        slot->Description[length] = '\0';
        const char revisionDigit = slot->Description[41];
        for (const char* const* entry = AcceptedIdentifications; *entry != nullptr; ++entry) {
            if (std::memcmp(reply + 8, *entry, std::strlen(*entry)) == 0 && revisionDigit >= '0' &&
                revisionDigit <= '9') {
                result = 1;
                break;
            }
        }
    }
    layer_.releaseBuffer(reply);
    return result;
}

int DriveCommands::StartStopUnit(DriveSlot* slot, uint8_t value) {
    if (slot == nullptr || !layer_.hasEntryPoints()) {
        return 0;
    }
    RequestBlock& block = begin(*slot);
    block.SRB_CDBLen = 12;
    block.CDBByte[0] = 0x1B; // START STOP UNIT, not immediate
    block.CDBByte[4] = value;
    const uint8_t status = layer_.executePolling();
    if (status == SS_COMP) {
        return 1;
    }
    if (status == SS_ERR) {
        // The flash procedure goes on whatever this command reports: telling the user about
        // the drive's complaint would only add a box to close before the real check (the
        // readiness polls) speaks.
        return 0;
    }
    notice("StartStop-Unit Command Error: %02X", status);
    return 0;
}

int DriveCommands::XCmd(DriveSlot* slot) {
    if (slot == nullptr || !layer_.hasEntryPoints()) {
        return 0;
    }
    RequestBlock& block = begin(*slot);
    block.SRB_CDBLen = 12; // TEST UNIT READY: all twelve bytes zero
    const uint8_t status = layer_.executePolling();
    const bool discPresent = status == SS_COMP || (status == SS_ERR && senseKey(block) == 0x00 &&
                                                   senseCode(block) == 0x00);
    if (discPresent) {
        drives_.ReadyWaitCounter = 1; // the caller's next count-down ends its polling
        dialogs_.notice("Remove disc, befor to do the flash task.");
        return 0;
    }
    if (status == SS_ERR) {
        // Not ready, medium not present: the tray is empty. Any other sense: poll again.
        return senseKey(block) == 0x02 && senseCode(block) == 0x3A ? 1 : 0;
    }
    notice("Command Error: %02X", status);
    return 0;
}

void DriveCommands::setTransfer(RequestBlock& block, void* data, uint8_t opcode, uint8_t mode,
                                uint8_t control) {
    // The transfer state is the progress bar's, read now.
    const auto offset = static_cast<uint32_t>(progressBar_.position());
    const auto length = static_cast<uint32_t>(progressBar_.step());
    block.SRB_BufLen = length;
    block.SRB_BufPointer = data;
    block.SRB_CDBLen = 12;
    block.CDBByte[0] = opcode;
    block.CDBByte[1] = mode;
    block.CDBByte[2] = 0x01; // buffer ID
    putBig24(&block.CDBByte[3], offset);
    putBig24(&block.CDBByte[6], length);
    block.CDBByte[9] = control;
}

uint8_t DriveCommands::commitClock() {
    progressBar_.setStep(1);
    progressBar_.setMax(CommitSeconds);
    progressBar_.setPosition(0);
    while (progressBar_.position() < progressBar_.max()) {
        system_.sleep(1000);
        if (layer_.status() != SS_PENDING) {
            break;
        }
        progressBar_.stepIt();
    }
    return layer_.status();
}

int DriveCommands::WriteBuffer(DriveSlot* slot, const void* data, uint8_t control) {
    if (slot == nullptr || !layer_.hasEntryPoints()) {
        return 0;
    }
    RequestBlock& block = begin(*slot);
    // ASPI only reads the data of a write; the block's field is not const.
    setTransfer(block, const_cast<void*>(data), 0x3B, 0x05, control); // download and save
    uint8_t status;
    if (control == 0) {
        status = layer_.executePolling();
    } else {
        layer_.submit();
        status = commitClock();
        if (progressBar_.position() == progressBar_.max() && status == SS_PENDING) {
            // No abort exists: the request and the buffer it reads stay with the layer.
            layer_.abandon();
            dialogs_.notice("Flash timeout !");
            return 0;
        }
        if (progressBar_.position() < progressBar_.max()) {
            progressBar_.setPosition(progressBar_.max());
        }
    }
    if (status == SS_COMP) {
        return 1;
    }
    if (status == SS_ERR) {
        senseNotice(block);
    } else {
        notice("Write-Buf Command Error: %02X", status);
    }
    return 0;
}

int DriveCommands::ReadBuffer(DriveSlot* slot, void* buffer) {
    if (slot == nullptr || !layer_.hasEntryPoints()) {
        return 0;
    }
    RequestBlock& block = begin(*slot);
    setTransfer(block, buffer, 0x3C, 0x01, 0x00); // vendor-specific mode
    block.SRB_Flags = 0;                          // direction from the command
    const uint8_t status = layer_.executePolling();
    if (status == SS_COMP) {
        return 1;
    }
    if (status == SS_ERR) {
        senseNotice(block);
    } else {
        notice("Read-Buf Command Error: %02X", status);
    }
    return 0;
}

} // namespace aspi
