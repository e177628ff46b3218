#include "sim/core/bus.h"

#include <algorithm>
#include <cstring>

#include "aspi/request_record.h"

namespace sim {

namespace {

std::string padded(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

// The offset and length of a WRITE BUFFER or READ BUFFER request; false unless it names the
// download buffer in `mode` and stays inside it.
bool downloadRange(const uint8_t* cdb, uint8_t mode, uint32_t& offset, uint32_t& length) {
    offset = aspi::getBig24(&cdb[3]);
    length = aspi::getBig24(&cdb[6]);
    return (cdb[1] & 0x1F) == mode && cdb[2] == scsi::FirmwareBufferId &&
           uint64_t{offset} + length <= package::ImageSize;
}

int slotIndex(uint8_t ha, uint8_t target) {
    return int{ha} * 256 + int{target};
}

} // namespace

Bus::Bus(Scenario scenario) : scenario_(std::move(scenario)) {
    for (const DeviceSpec& setup : scenario_.devices) {
        DeviceState state;
        state.setup = setup;
        state.becomingReady = setup.discPresent ? setup.readyPolls : 0;
        devices_.push_back(std::move(state));
    }
    if (!scenario_.tracePath.empty()) {
        traceFile_ = std::fopen(scenario_.tracePath.c_str(), "w");
    }
    if (!scenario_.replayPath.empty()) {
        loadReplay();
    }
}

namespace {

bool readWhole(const std::string& path, std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) != 0) {
        text.append(chunk, n);
    }
    std::fclose(f);
    return true;
}

// KXDREC00.TXT's side file is KXDREC00.BIN.
std::string sidePath(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t separator = path.find_last_of("\\/");
    const bool hasExtension =
        dot != std::string::npos && (separator == std::string::npos || dot > separator);
    return (hasExtension ? path.substr(0, dot) : path) + ".BIN";
}

} // namespace

void Bus::loadReplay() {
    replaying_ = true;
    std::string text;
    std::string side;
    if (!readWhole(scenario_.replayPath, text)) {
        replayLoadError_ = "cannot read " + scenario_.replayPath;
    } else {
        readWhole(sidePath(scenario_.replayPath), side); // none when no block was long
        std::string error;
        if (!aspi::trace::parse(text, std::vector<uint8_t>(side.begin(), side.end()), session_,
                                error)) {
            replayLoadError_ = scenario_.replayPath + ": " + error;
        }
    }
    if (!replayLoadError_.empty() && traceFile_ != nullptr) {
        std::fprintf(traceFile_, "replay-error %s\n", replayLoadError_.c_str());
        std::fflush(traceFile_);
    }
}

void Bus::replayError(const std::string& message) {
    replayBroken_ = true;
    replayErrors_.push_back(message);
    if (traceFile_ != nullptr) {
        std::fprintf(traceFile_, "replay-error %s\n", message.c_str());
        std::fflush(traceFile_);
    }
    if (replayErrorHandler_) {
        replayErrorHandler_(message);
    }
}

bool Bus::replay(const aspi::RequestBlock& block, int number, Pending& p, int64_t& latency) {
    aspi::trace::Request sent = aspi::trace::requestOf(block, number, 0);
    const auto fail = [&](const std::string& why) {
        if (!replayBroken_) {
            replayError(why);
        }
        // Invalid command operation code: the program meets a drive that refuses.
        p.status = aspi::SS_ERR;
        p.senseValid = true;
        p.sense = scsi::Sense{scsi::IllegalRequest, scsi::InvalidCommandOpcode, scsi::NoQualifier};
        latency = 0;
        return true;
    };
    if (replayBroken_) {
        return fail("");
    }
    if (!replayLoadError_.empty() || replayNext_ >= session_.requests.size()) {
        return fail("request sent: " + aspi::trace::describe(sent) +
                    "\n  recorded: nothing more (the recording ends after " +
                    std::to_string(session_.requests.size()) + " requests)");
    }
    const aspi::trace::Request& recorded = session_.requests[replayNext_];
    sent.number = recorded.number;
    const bool same =
        block.SRB_Cmd == aspi::SC_EXEC_SCSI_CMD && sent.hostAdapter == recorded.hostAdapter &&
        sent.target == recorded.target && sent.lun == recorded.lun &&
        sent.flags == recorded.flags && sent.dataLength == recorded.dataLength &&
        sent.cdb == recorded.cdb && sent.direction == recorded.direction &&
        (sent.direction != aspi::trace::Direction::Out || sent.dataOut == recorded.dataOut);
    if (!same) {
        return fail("request " + std::to_string(number) +
                    " is not the one recorded\n  sent:     " + aspi::trace::describe(sent) +
                    "\n  recorded: " + aspi::trace::describe(recorded));
    }
    ++replayNext_;
    p.replayed = static_cast<int>(replayNext_ - 1);
    if (recorded.completed < 0) {
        return false; // it never completed when recorded either
    }
    p.status = recorded.status;
    p.haStat = recorded.hostStatus;
    p.targStat = recorded.targetStatus;
    p.data = recorded.dataIn;
    p.raw = recorded.sense;
    if (recorded.sense.size() >= scsi::FixedSenseLength) {
        p.senseValid = true;
        p.sense = scsi::decodeFixedSense(recorded.sense.data());
    }
    if (scenario_.replayTiming) {
        latency = recorded.completed - recorded.submitted;
    }
    return true;
}

Bus::~Bus() {
    if (traceFile_ != nullptr) {
        std::fclose(traceFile_);
    }
}

uint32_t Bus::supportInfo() const {
    if (replaying_) {
        // Failed initialisation (E4h) when the recording cannot be read or lacks the answer.
        return replayLoadError_.empty() && session_.hasSupport ? session_.support : 0xE400u;
    }
    return (uint32_t{scenario_.supportStatus} << 8) | scenario_.adapters;
}

DeviceState* Bus::device(uint8_t hostAdapter, uint8_t target) {
    for (DeviceState& d : devices_) {
        if (d.setup.hostAdapter == hostAdapter && d.setup.target == target) {
            return &d;
        }
    }
    return nullptr;
}

const Fault* Bus::findFault(uint8_t ha, uint8_t target, uint8_t opcode, int occurrence) const {
    for (const Fault& f : scenario_.faults) {
        if (f.hostAdapter == ha && f.target == target && (f.opcode < 0 || f.opcode == opcode) &&
            (f.occurrence == 0 || f.occurrence == occurrence)) {
            return &f;
        }
    }
    return nullptr;
}

void Bus::submit(aspi::RequestBlock* block, int64_t now, EventHost& events) {
    Pending p{};
    p.block = block;
    p.event = (block->SRB_Flags & aspi::SRB_EVENT_NOTIFY) != 0 && block->SRB_PostProc != nullptr
                  ? events.holdEvent(block->SRB_PostProc)
                  : nullptr;
    p.haStat = 0;
    p.targStat = scsi::Good;
    p.senseValid = false;
    p.transferred = 0;

    TraceEntry entry;
    entry.number = static_cast<int>(trace_.size()) + 1;
    entry.submitted = now;
    entry.hostAdapter = block->SRB_HaId;
    entry.target = block->SRB_Target;
    entry.flags = block->SRB_Flags;
    entry.cdbLength = block->SRB_CDBLen;
    entry.dataLength = block->SRB_BufLen;
    std::memcpy(entry.cdb, block->CDBByte, sizeof entry.cdb);

    const uint8_t opcode = block->CDBByte[0];
    int64_t latency = scenario_.latencyMs;
    DeviceState* dev = device(block->SRB_HaId, block->SRB_Target);
    if (dev != nullptr && dev->setup.latencyMs >= 0) {
        latency = dev->setup.latencyMs;
    }

    // Occurrences count per slot and operation code.
    const int occurrence = ++occurrences_[slotIndex(block->SRB_HaId, block->SRB_Target)][opcode];
    const Fault* fault = findFault(block->SRB_HaId, block->SRB_Target, opcode, occurrence);

    if (fault != nullptr && fault->raise) {
        if (p.event != nullptr) {
            events.releaseEvent(p.event);
        }
        throw int{opcode};
    }
    int64_t extraDelay = 0;
    bool never = false;
    if (replaying_) {
        never = !replay(*block, entry.number, p, latency);
        fault = nullptr;
    } else if (block->SRB_Cmd != aspi::SC_EXEC_SCSI_CMD) {
        p.status = aspi::SS_INVALID_CMD;
    } else if (fault != nullptr && fault->never) {
        never = true;
    } else if (fault != nullptr && (fault->lost() || fault->scsiStatus >= 0)) {
        // The device never sees it; the transport or the target's bare status ends it.
        p.status = aspi::SS_ERR;
        p.targStat =
            fault->scsiStatus >= 0 ? static_cast<uint8_t>(fault->scsiStatus) : uint8_t{scsi::Good};
        entry.error = fault->error;
        entry.hostStatus = fault->hostStatus > 0 ? fault->hostStatus : 0;
        entry.driverStatus = fault->driverStatus > 0 ? fault->driverStatus : 0;
        entry.residual = fault->residual;
    } else if (fault != nullptr && (fault->status >= 0 || fault->senseKey >= 0)) {
        p.status = fault->status >= 0 ? static_cast<uint8_t>(fault->status) : uint8_t{aspi::SS_ERR};
        if (fault->senseKey >= 0) {
            p.senseValid = true;
            p.sense =
                scsi::Sense{static_cast<uint8_t>(fault->senseKey), static_cast<uint8_t>(fault->asc),
                            static_cast<uint8_t>(fault->ascq)};
        }
    } else if (block->SRB_HaId >= scenario_.adapters) {
        p.status = aspi::SS_INVALID_HA;
    } else if (dev == nullptr) {
        p.status = aspi::SS_NO_DEVICE;
    } else if (dev->setup.diesAfter >= 0 && dev->requests >= dev->setup.diesAfter) {
        // Selection times out: the adapter reports an error and there is no sense data.
        p.status = aspi::SS_ERR;
        p.haStat = aspi::HASTAT_SEL_TO;
    } else {
        execute(*dev, *block, p, extraDelay);
    }
    if (dev != nullptr) {
        ++dev->requests;
    }
    if (fault != nullptr && fault->delayMs >= 0) {
        latency = fault->delayMs;
    }
    if (fault != nullptr && fault->corruptOffset >= 0 && dev != nullptr) {
        corrupt(*dev, *block, p, static_cast<uint64_t>(fault->corruptOffset));
    }
    p.due = never ? -1 : now + latency + extraDelay;

    entry.status = never ? 0 : p.status;
    if (p.status == aspi::SS_COMP) {
        // A replayed request moved what it asked for: the recording keeps no residual.
        entry.transferred =
            p.replayed >= 0 ? block->SRB_BufLen : std::min(p.transferred, block->SRB_BufLen);
    }
    if (p.senseValid) {
        entry.sense = p.sense;
    }
    entry.due = p.due;
    p.traceIndex = static_cast<int>(trace_.size());
    trace_.push_back(entry);
    writeTrace(entry, "submit", now);
    if (!p.commit.empty() && traceFile_ != nullptr) {
        std::fprintf(traceFile_, "commit #%d t=%lld slot=%u:%u revision=%s\n", entry.number,
                     static_cast<long long>(now), unsigned{entry.hostAdapter},
                     unsigned{entry.target}, p.commit.c_str());
        std::fflush(traceFile_);
    }
    pending_.push_back(std::move(p));
}

void Bus::execute(DeviceState& device, const aspi::RequestBlock& block, Pending& p,
                  int64_t& extraDelay) {
    const uint8_t* cdb = block.CDBByte;
    const DeviceSpec& setup = device.setup;
    auto checkCondition = [&p](uint8_t key, uint8_t asc, uint8_t ascq) {
        p.status = aspi::SS_ERR;
        p.senseValid = true;
        p.sense = scsi::Sense{key, asc, ascq};
    };
    p.status = aspi::SS_COMP;
    // Any device answers INQUIRY and TEST UNIT READY; only the drive knows the others.
    const uint8_t opcode = cdb[0];
    const bool known = opcode == scsi::Inquiry || opcode == scsi::TestUnitReady ||
                       (setup.drive && (opcode == scsi::StartStopUnit ||
                                        opcode == scsi::WriteBuffer || opcode == scsi::ReadBuffer));
    if (!known) {
        checkCondition(scsi::IllegalRequest, scsi::InvalidCommandOpcode, scsi::NoQualifier);
        return;
    }
    uint32_t offset = 0;
    uint32_t length = 0;
    switch (opcode) {
    case scsi::Inquiry: {
        std::vector<uint8_t> reply(scsi::InquiryLength, 0);
        reply[0] = setup.peripheralType;
        reply[1] = setup.drive ? 0x80 : 0x00; // removable medium
        reply[2] = 0x02;
        reply[3] = 0x02;
        reply[4] = scsi::InquiryLength - 5;
        const std::string id =
            padded(setup.vendor, 8) + padded(setup.product, 16) + padded(setup.revision, 4);
        std::memcpy(&reply[scsi::IdentificationOffset], id.data(), scsi::IdentificationLength);
        reply.resize(std::min<size_t>(reply.size(), cdb[4]));
        p.data = std::move(reply);
        p.transferred = static_cast<uint32_t>(p.data.size());
        break;
    }
    case scsi::TestUnitReady:
        if (!setup.drive) {
            break;
        }
        if (!setup.discPresent) {
            checkCondition(scsi::NotReady, scsi::MediumNotPresent, scsi::NoQualifier);
        } else if (device.becomingReady > 0) {
            --device.becomingReady;
            checkCondition(scsi::NotReady, scsi::LogicalUnitNotReady, scsi::BecomingReady);
        }
        break;
    case scsi::StartStopUnit:
        if ((cdb[4] & 0x01) != 0 && !setup.discPresent) {
            // Nothing to start.
            checkCondition(scsi::NotReady, scsi::MediumNotPresent, scsi::NoQualifier);
        } else if ((cdb[4] & 0x03) == 0x03) {
            device.becomingReady = setup.readyPolls; // loaded anew
        }
        break;
    case scsi::WriteBuffer:
        if (!downloadRange(cdb, scsi::DownloadAndSave, offset, length)) {
            checkCondition(scsi::IllegalRequest, scsi::InvalidFieldInCdb, scsi::NoQualifier);
        } else if ((cdb[9] & scsi::CommitControl) != 0) {
            // The vendor bit commits what has been downloaded; the request's own byte of
            // parameter data carries nothing.
            device.firmware = device.download;
            p.commit = setup.revision + "->" +
                       (setup.newRevision.empty() ? setup.revision : setup.newRevision);
            if (!setup.newRevision.empty()) {
                device.setup.revision = setup.newRevision;
            }
            p.transferred = std::min(length, block.SRB_BufLen);
            ++device.commits;
            extraDelay = setup.commitMs;
            if (!scenario_.firmwarePath.empty()) {
                if (std::FILE* f = std::fopen(scenario_.firmwarePath.c_str(), "wb")) {
                    std::fwrite(device.firmware.data(), 1, device.firmware.size(), f);
                    std::fclose(f);
                }
            }
        } else {
            const uint32_t n = std::min(length, block.SRB_BufLen);
            if (n != 0 && block.SRB_BufPointer != nullptr) {
                std::memcpy(&device.download[offset], block.SRB_BufPointer, n);
            }
            p.transferred = n;
        }
        break;
    case scsi::ReadBuffer:
        if (!downloadRange(cdb, scsi::VendorSpecificRead, offset, length)) {
            checkCondition(scsi::IllegalRequest, scsi::InvalidFieldInCdb, scsi::NoQualifier);
        } else {
            p.data.assign(device.download.begin() + offset,
                          device.download.begin() + offset + length);
            p.transferred = length;
        }
        break;
    default:
        break;
    }
}

void Bus::corrupt(DeviceState& device, const aspi::RequestBlock& block, Pending& p, uint64_t at) {
    if (at < p.data.size()) {
        p.data[static_cast<size_t>(at)] ^= 0xFF; // what a read returns
        return;
    }
    // What a data block of WRITE BUFFER left in the download buffer (not a commit request's).
    const uint8_t* cdb = block.CDBByte;
    uint32_t offset = 0;
    uint32_t length = 0;
    if (p.status == aspi::SS_COMP && cdb[0] == scsi::WriteBuffer &&
        (cdb[9] & scsi::CommitControl) == 0 &&
        downloadRange(cdb, scsi::DownloadAndSave, offset, length) && at < length) {
        device.download[offset + static_cast<size_t>(at)] ^= 0xFF;
    }
}

int64_t Bus::nextDue() const {
    int64_t earliest = -1;
    for (const Pending& p : pending_) {
        if (p.due >= 0 && (earliest < 0 || p.due < earliest)) {
            earliest = p.due;
        }
    }
    return earliest;
}

void Bus::completeDue(int64_t now, EventHost& events) {
    for (;;) {
        auto next = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->due >= 0 && it->due <= now && (next == pending_.end() || it->due < next->due)) {
                next = it;
            }
        }
        if (next == pending_.end()) {
            return;
        }
        Pending p = std::move(*next);
        pending_.erase(next);
        aspi::RequestBlock& block = *p.block;
        if (!p.data.empty() && block.SRB_BufPointer != nullptr) {
            std::memcpy(block.SRB_BufPointer, p.data.data(),
                        std::min<size_t>(p.data.size(), block.SRB_BufLen));
        }
        block.SRB_HaStat = p.haStat;
        if (p.replayed >= 0) {
            // As the recorded layer left the block.
            block.SRB_TargStat = p.targStat;
            if (!p.raw.empty()) {
                std::memcpy(block.SenseArea, p.raw.data(),
                            std::min(p.raw.size(), sizeof block.SenseArea));
            }
        } else {
            block.SRB_TargStat = p.senseValid ? uint8_t{scsi::CheckCondition} : p.targStat;
            if (p.senseValid && block.SRB_SenseLen >= scsi::FixedSenseLength) {
                std::memset(block.SenseArea, 0, sizeof block.SenseArea);
                scsi::encodeFixedSense(block.SenseArea, p.sense);
            }
        }
        // The trace line first: a program that sees the status may end at once, and the
        // completion must be on record by then.
        TraceEntry& entry = trace_[static_cast<size_t>(p.traceIndex)];
        entry.completed = true;
        writeTrace(entry, "done", now);
        aspi::storeStatus(block, p.status);
        if (p.event != nullptr) {
            events.signalEvent(p.event);
            events.releaseEvent(p.event);
        }
    }
}

void Bus::shutdown(EventHost& events) {
    for (Pending& p : pending_) {
        if (p.event != nullptr) {
            events.releaseEvent(p.event);
        }
        writeTrace(trace_[static_cast<size_t>(p.traceIndex)], "dropped", -1);
    }
    pending_.clear();
}

void Bus::writeTrace(const TraceEntry& e, const char* what, int64_t now) {
    if (traceFile_ == nullptr) {
        return;
    }
    std::fprintf(traceFile_, "%s #%d t=%lld slot=%u:%u flags=%02X len=%lu cdb=", what, e.number,
                 static_cast<long long>(now), unsigned{e.hostAdapter}, unsigned{e.target},
                 unsigned{e.flags}, static_cast<unsigned long>(e.dataLength));
    for (int i = 0; i < e.cdbLength && i < 16; ++i) {
        std::fprintf(traceFile_, i == 0 ? "%02X" : " %02X", unsigned{e.cdb[i]});
    }
    if (e.due < 0) {
        std::fprintf(traceFile_, " status=never\n");
    } else {
        std::fprintf(traceFile_, " status=%02X sense=%02X/%02X/%02X due=%lld\n", unsigned{e.status},
                     unsigned{e.sense.key}, unsigned{e.sense.asc}, unsigned{e.sense.ascq},
                     static_cast<long long>(e.due));
    }
    std::fflush(traceFile_);
}

} // namespace sim
