#include "core.h"

#include <algorithm>
#include <cstring>

namespace bridge {

namespace {

// A pass-through that came back this close to the time limit was ended by it: under Wine the
// system's own word for that does not come through.
constexpr uint32_t TimeLimitSlackMs = 50;

} // namespace

std::vector<Place> placeDrives(const std::vector<Drive>& drives) {
    // The SCSI port and path of each host adapter, where its drives share it.
    struct Adapter {
        bool shared;
        uint8_t port, path;
    };
    std::vector<Adapter> adapters;
    std::vector<Place> places;
    const auto taken = [&places](const Place& p) {
        return std::any_of(places.begin(), places.end(), [&p](const Place& q) {
            return q.hostAdapter == p.hostAdapter && q.target == p.target && q.lun == p.lun;
        });
    };
    for (const Drive& d : drives) {
        const auto same = std::find_if(adapters.begin(), adapters.end(), [&d](const Adapter& a) {
            return a.shared && a.port == d.port && a.path == d.path;
        });
        const auto number = static_cast<uint8_t>(same - adapters.begin());
        if (d.addressed && same != adapters.end() && !taken(Place{number, d.target, d.lun})) {
            places.push_back(Place{number, d.target, d.lun});
        } else if (d.addressed && same == adapters.end()) {
            places.push_back(Place{number, d.target, d.lun});
            adapters.push_back(Adapter{true, d.port, d.path});
        } else {
            places.push_back(Place{static_cast<uint8_t>(adapters.size()), 0, 0});
            adapters.push_back(Adapter{false, 0, 0});
        }
    }
    return places;
}

uint8_t adapterCount(const std::vector<Place>& places) {
    uint8_t count = 0;
    for (const Place& p : places) {
        count = p.hostAdapter + 1 > count ? static_cast<uint8_t>(p.hostAdapter + 1) : count;
    }
    return count;
}

uint8_t accept(const aspi::RequestBlock& block, const std::vector<Place>& places, int& drive) {
    if (block.SRB_Cmd != aspi::SC_EXEC_SCSI_CMD) {
        return aspi::SS_INVALID_CMD;
    }
    if (block.SRB_HaId >= adapterCount(places)) {
        return aspi::SS_INVALID_HA;
    }
    drive = -1;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (places[i].hostAdapter == block.SRB_HaId && places[i].target == block.SRB_Target &&
            places[i].lun == block.SRB_Lun) {
            drive = static_cast<int>(i);
        }
    }
    if (drive < 0) {
        return aspi::SS_NO_DEVICE;
    }
    if (block.SRB_CDBLen == 0 || block.SRB_CDBLen > sizeof block.CDBByte ||
        (block.SRB_BufLen != 0 && block.SRB_BufPointer == nullptr)) {
        return aspi::SS_INVALID_SRB;
    }
    return aspi::SS_PENDING;
}

Command commandFor(const aspi::RequestBlock& block) {
    Command c;
    c.cdbLength = block.SRB_CDBLen;
    std::memcpy(c.cdb, block.CDBByte, block.SRB_CDBLen);
    c.direction = aspi::trace::directionOf(block.SRB_Flags, block.CDBByte[0], block.SRB_BufLen);
    if (c.direction != aspi::trace::Direction::None) {
        c.data = block.SRB_BufPointer;
        c.length = block.SRB_BufLen;
    }
    c.senseLength = block.SRB_SenseLen < SenseCapacity ? block.SRB_SenseLen : SenseCapacity;
    return c;
}

uint8_t complete(aspi::RequestBlock& block, const Command& command, const Outcome& outcome) {
    uint8_t status = aspi::SS_ERR;
    uint8_t adapterStatus = 0;
    uint8_t targetStatus = 0;
    if (!outcome.delivered) {
        // The system did not take it, or the transport failed it: not a word of the drive's.
        status = outcome.gone ? aspi::SS_NO_DEVICE : aspi::SS_ABORTED;
    } else if (outcome.timedOut || outcome.elapsedMs + TimeLimitSlackMs >= command.limitMs) {
        adapterStatus = aspi::HASTAT_COMMAND_TIMEOUT;
    } else if (outcome.scsiStatus != 0) {
        targetStatus = outcome.scsiStatus;
        const uint8_t length =
            outcome.senseLength < command.senseLength ? outcome.senseLength : command.senseLength;
        if (length != 0 && outcome.sense != nullptr) {
            // The sense area is as long as the block says, from SenseArea on.
            std::memcpy(block.SenseArea, outcome.sense, length);
        }
    } else if (command.length != 0 && outcome.transferred == 0) {
        // Good status and nothing moved: how Wine hands on a transfer the system gave up on.
        adapterStatus = aspi::HASTAT_DO_DU;
    } else {
        status = aspi::SS_COMP;
        if ((block.SRB_Flags & aspi::SRB_ENABLE_RESIDUAL_COUNT) != 0 &&
            outcome.transferred <= command.length) {
            block.SRB_BufLen = command.length - outcome.transferred;
        }
    }
    block.SRB_HaStat = adapterStatus;
    block.SRB_TargStat = targetStatus;
    aspi::storeStatus(block, status);
    return status;
}

} // namespace bridge
