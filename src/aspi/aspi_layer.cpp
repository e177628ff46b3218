#include "aspi/aspi_layer.h"

#include <cstring>
#include <new>

namespace aspi {

namespace {

// Whatever a still-pending request may write at shutdown is parked here instead of being
// freed: ASPI may still complete it after the program has let go. The list is reachable from
// a static pointer, so leak checkers do not count it as lost.
std::vector<void*>& parked() {
    static auto* list = new std::vector<void*>();
    return *list;
}

} // namespace

Layer::Layer(platform::System& system) : system_(system), current_(new Request()) {}

Layer::~Layer() {
    reclaim();
    for (const Buffer& buffer : buffers_) {
        if (usedByRetired(buffer)) {
            parked().push_back(buffer.data);
        } else {
            delete[] buffer.data;
        }
    }
    // Blocks (and events) of requests still pending stay as they are, for the same reason.
    for (auto& request : retired_) {
        parked().push_back(request.release());
    }
}

void Layer::setEntryPoints(void* getSupportInfo, void* sendCommand) {
    // procAddress hands out addresses of functions; this is the documented way back.
    setEntryPoints(reinterpret_cast<GetASPI32SupportInfoFn>(getSupportInfo),
                   reinterpret_cast<SendASPI32CommandFn>(sendCommand));
}

void Layer::setEntryPoints(GetASPI32SupportInfoFn getSupportInfo, SendASPI32CommandFn sendCommand) {
    getSupportInfo_ = getSupportInfo;
    sendCommand_ = sendCommand;
}

uint32_t Layer::supportInfo() {
    return getSupportInfo_ != nullptr ? getSupportInfo_() : 0;
}

RequestBlock& Layer::newRequest() {
    reclaim();
    std::memset(&current_->block, 0, sizeof current_->block);
    current_->block.SRB_Cmd = SC_EXEC_SCSI_CMD;
    return current_->block;
}

const RequestBlock& Layer::request() const {
    return current_->block;
}

void Layer::submit() {
    if (sendCommand_ != nullptr) {
        sendCommand_(&current_->block); // the result says nothing the status will not
    }
}

uint8_t Layer::executePolling(unsigned long milliseconds, unsigned long quickMs) {
    submit();
    const uint32_t start = system_.tickCount();
    for (;;) {
        // The time first: a request that completes right after it still counts.
        const uint32_t elapsed = system_.tickCount() - start; // also across the wrap
        const uint8_t status = loadStatus(current_->block);
        if (status != SS_PENDING) {
            return status;
        }
        if (elapsed >= milliseconds) {
            // No abort exists: the request and what it names stay with the layer.
            abandon();
            return SS_PENDING;
        }
        // Past the time a quick answer takes, a rest between reads costs the request nothing
        // and spares the processor (on Windows 9x the whole machine) a spin.
        if (elapsed >= quickMs) {
            system_.sleep(HungPollMs);
        } else {
            system_.yieldSlice();
        }
    }
}

uint8_t Layer::executeWithEvent(unsigned long milliseconds) {
    const platform::EventHandle event = system_.createEvent();
    current_->block.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    current_->block.SRB_PostProc = event;
    submit();
    if (loadStatus(current_->block) == SS_PENDING) {
        const bool watched = slowNotice_ && slowAfterMs_ < milliseconds;
        platform::WaitResult waited =
            system_.waitForEvent(event, watched ? slowAfterMs_ : milliseconds);
        if (watched && waited == platform::WaitResult::TimedOut &&
            loadStatus(current_->block) == SS_PENDING) {
            slowNotice_();
            waited = system_.waitForEvent(event, milliseconds - slowAfterMs_);
        }
        if (waited == platform::WaitResult::Signalled) {
            system_.resetEvent(event);
        }
    }
    const uint8_t status = loadStatus(current_->block);
    if (status == SS_PENDING) {
        // ASPI may still signal the event: it is closed when the request is reclaimed.
        current_->event = event;
        abandon();
    } else {
        system_.closeEvent(event);
    }
    return status;
}

void Layer::onSlowRequest(unsigned long afterMs, std::function<void()> notice) {
    slowAfterMs_ = afterMs;
    slowNotice_ = std::move(notice);
}

void Layer::abandon() {
    retired_.push_back(std::move(current_));
    current_.reset(new Request());
}

void Layer::reclaim() {
    for (size_t i = 0; i < retired_.size();) {
        Request& request = *retired_[i];
        if (loadStatus(request.block) == SS_PENDING) {
            ++i;
            continue;
        }
        if (request.event != nullptr) {
            system_.closeEvent(request.event);
        }
        retired_.erase(retired_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    for (size_t i = 0; i < buffers_.size();) {
        if (buffers_[i].released && !usedByRetired(buffers_[i])) {
            freeBuffer(i);
        } else {
            ++i;
        }
    }
}

size_t Layer::requestRecordBytes() {
    return sizeof(Request);
}

size_t Layer::retainedBytes() const {
    size_t bytes = retired_.size() * sizeof(Request);
    for (const Buffer& buffer : buffers_) {
        if (buffer.released && usedByRetired(buffer)) {
            bytes += buffer.size;
        }
    }
    return bytes;
}

bool Layer::usedByRetired(const Buffer& buffer) const {
    const auto* begin = buffer.data;
    const auto* end = buffer.data + buffer.size;
    for (const auto& request : retired_) {
        const auto* data = static_cast<const uint8_t*>(request->block.SRB_BufPointer);
        const uint32_t length = request->block.SRB_BufLen;
        if (data != nullptr && length != 0 && data < end && begin < data + length) {
            return true;
        }
    }
    return false;
}

uint8_t* Layer::allocateBuffer(size_t bytes) {
    reclaim();
    auto* data = new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes];
    if (data == nullptr) {
        return nullptr;
    }
    try {
        buffers_.push_back(Buffer{data, bytes, false});
    } catch (const std::bad_alloc&) {
        delete[] data;
        return nullptr;
    }
    return data;
}

void Layer::releaseBuffer(void* buffer) {
    for (size_t i = 0; i < buffers_.size(); ++i) {
        if (buffers_[i].data == buffer && !buffers_[i].released) {
            buffers_[i].released = true;
            break;
        }
    }
    reclaim();
}

void Layer::freeBuffer(size_t index) {
    delete[] buffers_[index].data;
    buffers_.erase(buffers_.begin() + static_cast<std::ptrdiff_t>(index));
}

} // namespace aspi
