#include "inprocess.h"

namespace bridge {
namespace {
std::atomic<InProcessBridge*> active{nullptr};
} // namespace

InProcessBridge::InProcessBridge(const std::vector<Drive>& addresses, std::vector<Device*> devices,
                                 platform::Worker* worker, EventHooks events, Observer& observer,
                                 std::function<uint32_t(const Command&)> limit,
                                 std::function<uint32_t()> tickCount)
    : places_(placeDrives(addresses)), devices_(std::move(devices)), worker_(worker),
      events_(std::move(events)), observer_(observer), limit_(std::move(limit)),
      tickCount_(std::move(tickCount)) {
    active.store(this);
}

InProcessBridge::~InProcessBridge() {
    active.store(nullptr);
}

bool InProcessBridge::idle() {
    return inFlight_.load() == 0;
}

uint32_t InProcessBridge::GetASPI32SupportInfo() {
    InProcessBridge* self = active.load();
    const uint8_t adapters = self != nullptr ? adapterCount(self->places_) : 0;
    return adapters != 0 ? (uint32_t{aspi::SS_COMP} << 8) | adapters
                         : uint32_t{aspi::SS_NO_ADAPTERS} << 8;
}

uint32_t InProcessBridge::SendASPI32Command(void* argument) {
    InProcessBridge* self = active.load();
    if (argument == nullptr) {
        return aspi::SS_INVALID_CMD;
    }
    auto& block = *static_cast<aspi::RequestBlock*>(argument);
    if (self == nullptr) {
        aspi::storeStatus(block, aspi::SS_NO_ADAPTERS);
        return aspi::SS_NO_ADAPTERS;
    }
    return self->send(block);
}

uint32_t InProcessBridge::send(aspi::RequestBlock& block) {
    int drive = -1;
    uint8_t refused = accept(block, places_, drive);
    if (refused == aspi::SS_PENDING && worker_ == nullptr) {
        refused = aspi::SS_ASPI_IS_BUSY; // no thread to carry it
    }
    if (refused != aspi::SS_PENDING) {
        aspi::storeStatus(block, refused);
        return refused;
    }
    Command command = commandFor(block);
    command.limitMs = limit_(command);
    void* event = nullptr;
    if ((block.SRB_Flags & aspi::SRB_EVENT_NOTIFY) != 0 && block.SRB_PostProc != nullptr) {
        event = events_.retain(block.SRB_PostProc);
    }
    aspi::storeStatus(block, aspi::SS_PENDING);
    ++inFlight_;
    aspi::RequestBlock* at = &block;
    worker_->post([this, at, drive, command, event] { carryOut(at, drive, command, event); });
    return aspi::SS_PENDING;
}

void InProcessBridge::carryOut(aspi::RequestBlock* block, int drive, Command command, void* event) {
    observer_.started(drive, *block, command);
    const uint32_t start = tickCount_();
    Outcome outcome = devices_[static_cast<std::size_t>(drive)]->execute(command);
    outcome.elapsedMs = tickCount_() - start;
    observer_.finished(drive, *block, command, outcome);
    complete(*block, command, outcome);
    // From here on the block is the program's again.
    if (event != nullptr) {
        events_.set(event);
        events_.release(event);
    }
    --inFlight_;
    observer_.completed();
}

} // namespace bridge
