// The simulated drive's scenario files: whatever the text, the parser gives a scenario or a
// reason that names its line, without a fault the sanitizers see; and a scenario it accepts runs
// on the bus: each device takes every command the program sends, and whatever is due completes.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/core/bus.h"
#include "sim/core/scenario.h"

namespace {

// Requests without an event: nothing to hold.
struct NoEvents : sim::EventHost {
    void* holdEvent(void*) override { return nullptr; }
    void signalEvent(void*) override {}
    void releaseEvent(void*) override {}
};

// The program's commands: INQUIRY, TEST UNIT READY, START STOP UNIT 3, a block written, read
// back, and the commit request.
void command(aspi::RequestBlock& block, int which, std::vector<uint8_t>& data) {
    block.SRB_CDBLen = which == 0 ? 6 : 12;
    block.SRB_SenseLen = aspi::SENSE_LEN;
    uint8_t* cdb = block.CDBByte;
    switch (which) {
    case 0:
        cdb[0] = scsi::Inquiry;
        cdb[4] = scsi::InquiryLength;
        block.SRB_BufLen = scsi::InquiryLength;
        block.SRB_BufPointer = data.data();
        break;
    case 1:
        cdb[0] = scsi::TestUnitReady;
        break;
    case 2:
        cdb[0] = scsi::StartStopUnit;
        cdb[4] = 3;
        break;
    default:
        cdb[0] = which == 4 ? scsi::ReadBuffer : scsi::WriteBuffer;
        cdb[1] = which == 4 ? scsi::VendorSpecificRead : scsi::DownloadAndSave;
        cdb[2] = scsi::FirmwareBufferId;
        aspi::putBig24(&cdb[6], which == 5 ? 1 : static_cast<uint32_t>(data.size()));
        cdb[9] = which == 5 ? scsi::CommitControl : 0;
        block.SRB_BufLen = which == 5 ? 1 : static_cast<uint32_t>(data.size());
        block.SRB_BufPointer = data.data();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    sim::Scenario scenario;
    std::string error;
    if (!sim::Scenario::parse(text, scenario, error)) {
        fuzz::expect(error.rfind("line ", 0) == 0, "a reason that names its line");
        return 0;
    }
    fuzz::expect(error.empty(), "no reason for a scenario read");
    // No files written or read at the fuzzer's choice.
    scenario.tracePath.clear();
    scenario.firmwarePath.clear();
    scenario.replayPath.clear();
    // A fault that throws on purpose tests the layers' guards, not the bus.
    for (sim::Fault& f : scenario.faults) {
        f.raise = false;
    }

    sim::Bus bus(scenario);
    NoEvents events;
    std::deque<aspi::RequestBlock> blocks;
    std::vector<uint8_t> buffer(16384, 0x5A);
    int64_t now = 0;
    const std::size_t devices = std::min<std::size_t>(scenario.devices.size(), 4);
    for (std::size_t d = 0; d < devices; ++d) {
        for (int which = 0; which < 6; ++which) {
            blocks.emplace_back();
            aspi::RequestBlock& block = blocks.back();
            block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
            block.SRB_HaId = scenario.devices[d].hostAdapter;
            block.SRB_Target = scenario.devices[d].target;
            command(block, which, buffer);
            bus.submit(&block, now, events);
            now += 10;
        }
    }
    bus.completeDue(std::numeric_limits<int64_t>::max(), events);
    fuzz::expect(bus.nextDue() < 0, "everything due completed");
    bus.shutdown(events);
    return 0;
}
