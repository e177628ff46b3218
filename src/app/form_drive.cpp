#include "app/form_drive.h"

namespace app {

FormDrive::FormDrive(platform::System& system, platform::Dialogs& dialogs,
                     platform::ProgressBar& progressBar, platform::ComboBox& driveList,
                     platform::Frame& statusLine, aspi::DriveData& drives)
    : layer_(system), commands_(layer_, system, dialogs, drives), bar_(progressBar),
      driveList_(driveList), statusLine_(statusLine), drives_(drives) {}

aspi::DriveSlot* FormDrive::selectedSlot() {
    const int index = driveList_.itemIndex();
    if (index < 0 || index >= aspi::DriveSlotCount || index >= driveList_.itemCount()) {
        return nullptr;
    }
    const int32_t number = drives_.ListMap[index];
    if (number < 0 || number >= aspi::DriveSlotCount) {
        return nullptr;
    }
    return &drives_.SlotTable[number];
}

int FormDrive::CheckInquiry(aspi::DriveSlot* slot) {
    return commands_.CheckInquiry(slot);
}

int FormDrive::noted(int result) {
    stoppedAnswering_ = stoppedAnswering_ || commands_.timedOut();
    return result;
}

int FormDrive::XCmd(aspi::DriveSlot* slot) {
    return noted(commands_.XCmd(slot));
}

int FormDrive::StartStopUnit(aspi::DriveSlot* slot, uint8_t value) {
    return noted(commands_.StartStopUnit(slot, value));
}

int FormDrive::WriteBuffer(aspi::DriveSlot* slot, const void* data, uint8_t control) {
    // The transfer state is the bar's, read now.
    return noted(commands_.WriteBuffer(
        slot, static_cast<uint32_t>(bar_.position()), data, static_cast<uint32_t>(bar_.step()),
        control, [this](aspi::Clock event, int seconds) { showClock(event, seconds); }));
}

int FormDrive::ReadBuffer(aspi::DriveSlot* slot, void* buffer) {
    return noted(commands_.ReadBuffer(slot, static_cast<uint32_t>(bar_.position()), buffer,
                                      static_cast<uint32_t>(bar_.step())));
}

void FormDrive::showClock(aspi::Clock event, int seconds) {
    switch (event) {
    case aspi::Clock::Started:
        bar_.setStep(1);
        bar_.setMax(seconds);
        bar_.setPosition(0);
        break;
    case aspi::Clock::Ticked:
        bar_.stepIt();
        break;
    case aspi::Clock::EndedEarly:
        bar_.setPosition(bar_.max());
        break;
    }
}

void FormDrive::setTransferRange(int32_t length, int32_t block) {
    bar_.setMin(0);
    bar_.setMax(length);
    bar_.setStep(block);
}

int32_t FormDrive::blockLength() const {
    return bar_.step();
}

int32_t FormDrive::transferOffset() const {
    return bar_.position();
}

bool FormDrive::transferEnded() const {
    return bar_.position() >= bar_.max();
}

void FormDrive::nextBlock() {
    bar_.stepIt();
}

void FormDrive::rewind() {
    bar_.setPosition(0);
}

void FormDrive::showStatus(const std::string& text) {
    statusLine_.setCaption(text);
    statusLine_.repaint();
}

} // namespace app
