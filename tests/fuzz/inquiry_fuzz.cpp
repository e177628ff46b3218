// INQUIRY at a drive slot, whatever the device there answers: the description text and the
// acceptance are those of a small model, nothing is told to the user, and no event or buffer
// stays behind but for a request that is still pending. Through the simulated drive in-process, as
// the unit tests run it.
//
// Input: byte 0 picks the slot (of the six), byte 1 is the status the request completes with
// (01h: the reply as the device gives it), the rest are the 28 identification bytes of the
// reply (vendor, product, revision; the simulated drive pads them with blanks).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "aspi/drive_commands.h"
#include "fuzz_check.h"
#include "platform/fake/fake_dialogs.h"
#include "sim_drive.h"

namespace {

// "HA#a - ID#t :  " and the identification up to its first NUL, right-aligned in 28 characters.
std::string modelDescription(const aspi::DriveSlot& slot, const std::string& identification) {
    const std::string text = identification.substr(0, identification.find('\0'));
    return "HA#" + std::to_string(slot.HostAdapter) + " - ID#" + std::to_string(slot.Target) +
           " :  " + std::string(scsi::IdentificationLength - text.size(), ' ') + text;
}

// The drive's vendor and product and "KV", and a digit as the third revision character.
bool modelAccepts(const std::string& identification, const std::string& description) {
    const std::string family = "QUORVEN KXD-7316        KV";
    return identification.compare(0, family.size(), family) == 0 && description.size() > 41 &&
           description[41] >= '0' && description[41] <= '9';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    aspi::DriveData drives;
    aspi::DriveSlot& slot = drives.SlotTable[data[0] % aspi::DriveSlotCount];
    const uint8_t status = data[1];
    std::string identification(reinterpret_cast<const char*>(data) + 2,
                               std::min<size_t>(size - 2, scsi::IdentificationLength));
    identification.resize(scsi::IdentificationLength, ' ');

    sim::DeviceSpec device = simdrive::kxd();
    device.hostAdapter = slot.HostAdapter;
    device.target = slot.Target;
    device.vendor = identification.substr(0, 8);
    device.product = identification.substr(8, 16);
    device.revision = identification.substr(24, 4);
    std::vector<sim::Fault> faults;
    if (status != aspi::SS_COMP) {
        sim::Fault fault = simdrive::fault(scsi::Inquiry);
        fault.hostAdapter = slot.HostAdapter;
        fault.target = slot.Target;
        fault.status = status;
        faults.push_back(fault);
    }

    // Status 00h leaves the request pending: it is retired, and its reply buffer and event wait
    // for it as long as the program runs.
    const std::size_t retired = status == aspi::SS_PENDING ? 1 : 0;
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    {
        simdrive::Bus bus(system, simdrive::busWith({device}, faults));
        aspi::Layer layer(system);
        bus.connect(layer);
        aspi::DriveCommands commands(layer, system, dialogs, drives);

        const int accepted = commands.CheckInquiry(&slot);

        const std::string description = slot.Description;
        if (status == aspi::SS_COMP) {
            fuzz::expect(description == modelDescription(slot, identification),
                         "the model's description text");
            fuzz::expect(accepted == (modelAccepts(identification, description) ? 1 : 0),
                         "the model's acceptance");
        } else {
            fuzz::expect(description.empty() && accepted == 0,
                         "no description and no acceptance after a failed request");
        }
        fuzz::expect(dialogs.shown.empty(), "no message box");
        fuzz::expect(layer.retiredCount() == retired && layer.heldBuffers() == retired,
                     "the reply buffer released, or kept for a request still pending");
    }
    fuzz::expect(system.openEvents == static_cast<int>(retired),
                 "every event closed but a pending request's");
    return 0;
}
