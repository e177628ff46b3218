// A request block as a recorded session (session_trace.h) holds it: what the program sent, and
// what the layer answered.
#pragma once

#include "aspi/request_block.h"
#include "aspi/session_trace.h"

namespace aspi::trace {

// The request as the program sent it; `at` is when, in ms since the session's first call.
Request requestOf(const RequestBlock& block, int number, int64_t at);
// Its outcome as the layer left it in `answered` (status, adapter and target status, sense
// area) and in the data buffer, which held `before` when the request was sent (the data in is
// recorded only where the layer changed it).
void recordOutcome(Request& request, const RequestBlock& answered, const uint8_t* before,
                   const uint8_t* after, int64_t at);
// The part of it the block holds: status, adapter and target status, sense area.
void recordAnswer(Request& request, const RequestBlock& answered);

} // namespace aspi::trace
