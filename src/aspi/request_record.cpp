#include "aspi/request_record.h"

#include <cstring>

namespace aspi::trace {

Request requestOf(const RequestBlock& block, int number, int64_t at) {
    Request r;
    r.number = number;
    r.submitted = at;
    r.hostAdapter = block.SRB_HaId;
    r.target = block.SRB_Target;
    r.lun = block.SRB_Lun;
    r.flags = block.SRB_Flags;
    r.dataLength = block.SRB_BufLen;
    const std::size_t cdbLength = block.SRB_CDBLen <= 16 ? block.SRB_CDBLen : 16;
    r.cdb.assign(block.CDBByte, block.CDBByte + (cdbLength != 0 ? cdbLength : 1));
    r.direction = directionOf(block.SRB_Flags, block.CDBByte[0], block.SRB_BufLen);
    if (r.direction == Direction::Out && block.SRB_BufLen != 0 && block.SRB_BufPointer != nullptr) {
        const auto* data = static_cast<const uint8_t*>(block.SRB_BufPointer);
        r.dataOut.assign(data, data + block.SRB_BufLen);
    }
    return r;
}

void recordOutcome(Request& r, const RequestBlock& answered, const uint8_t* before,
                   const uint8_t* after, int64_t at) {
    r.completed = at;
    if (r.direction != Direction::Out && before != nullptr && after != nullptr &&
        std::memcmp(before, after, r.dataLength) != 0) {
        r.dataIn.assign(after, after + r.dataLength);
    }
    recordAnswer(r, answered);
}

void recordAnswer(Request& r, const RequestBlock& answered) {
    r.status = loadStatus(answered);
    r.hostStatus = answered.SRB_HaStat;
    r.targetStatus = answered.SRB_TargStat;
    const uint8_t* sense = answered.SenseArea;
    for (std::size_t i = 0; i < sizeof answered.SenseArea; ++i) {
        if (sense[i] != 0) {
            r.sense.assign(sense, sense + sizeof answered.SenseArea);
            break;
        }
    }
}

} // namespace aspi::trace
