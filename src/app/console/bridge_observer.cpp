#include "app/console/bridge_observer.h"

#include "aspi/scsi.h"
#include "platform/text_format.h"

namespace console {

std::string hexBytes(const uint8_t* data, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += platform::formatText(i == 0 ? "%02X" : " %02X", unsigned{data[i]});
    }
    return text;
}

BridgeObserver::BridgeObserver(platform::Console& console, bool verbose,
                               recorder::Recording* recording, std::vector<std::string> names,
                               std::function<uint32_t()> tickCount, std::function<void()> wake)
    : console_(console), verbose_(verbose), recording_(recording), names_(std::move(names)),
      tickCount_(std::move(tickCount)), wake_(std::move(wake)), start_(tickCount_()) {}

void BridgeObserver::started(int drive, const aspi::RequestBlock& block, const bridge::Command& c) {
    if (recording_ != nullptr) {
        request_ = aspi::trace::requestOf(block, ++requests_, now());
        const auto* data = static_cast<const uint8_t*>(block.SRB_BufPointer);
        before_.assign(data, data != nullptr ? data + block.SRB_BufLen : data);
        recording_->submitted(request_);
    }
    if (verbose_) {
        const char* way = c.direction == aspi::trace::Direction::In    ? " in"
                          : c.direction == aspi::trace::Direction::Out ? " out"
                                                                       : "";
        console_.err(platform::formatText(
            "  %s <- %s: cdb %s, %lu bytes%s, limit %lu s\n",
            names_[static_cast<std::size_t>(drive)].c_str(), scsi::commandName(c.cdb[0]),
            hexBytes(c.cdb, c.cdbLength).c_str(), static_cast<unsigned long>(c.length), way,
            static_cast<unsigned long>(c.limitMs / 1000)));
    }
}

void BridgeObserver::finished(int drive, const aspi::RequestBlock& block, const bridge::Command& c,
                              const bridge::Outcome& o) {
    if (verbose_) {
        std::string text = platform::formatText(
            "  %s -> %s, status %02X, host %04X, driver %04X, %lu bytes moved, %lu ms",
            names_[static_cast<std::size_t>(drive)].c_str(),
            !o.delivered ? "not carried out"
            : o.timedOut ? "timed out"
                         : "done",
            unsigned{o.scsiStatus}, unsigned{o.hostStatus}, unsigned{o.driverStatus},
            static_cast<unsigned long>(o.transferred), static_cast<unsigned long>(o.elapsedMs));
        if (o.error != 0) {
            text += platform::formatText(", system error %d", o.error);
        }
        if (o.senseLength != 0 && o.sense != nullptr) {
            text += ", sense " + hexBytes(o.sense, o.senseLength);
        }
        console_.err(text + "\n");
    }
    if (recording_ != nullptr) {
        // The outcome as it will stand in the block, worked out on a copy: the program takes
        // the block back the moment its status is written.
        aspi::RequestBlock answered = block;
        bridge::complete(answered, c, o);
        const auto* after = static_cast<const uint8_t*>(block.SRB_BufPointer);
        aspi::trace::recordOutcome(request_, answered, before_.empty() ? nullptr : before_.data(),
                                   before_.empty() ? nullptr : after, now());
        recording_->completed(request_);
    }
}

} // namespace console
