// What the command-line flasher does as the bridge inside it carries out requests: with -v each
// command and its outcome on the standard error, with --record each request in the recording,
// and the wait of the polling commands ended at each completion.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "aspi/request_record.h"
#include "inprocess.h"
#include "platform/console.h"
#include "recording.h"

namespace console {

class BridgeObserver : public bridge::Observer {
public:
    // `names` are the drives' names by place; `recording` may be null.
    BridgeObserver(platform::Console& console, bool verbose, recorder::Recording* recording,
                   std::vector<std::string> names, std::function<uint32_t()> tickCount,
                   std::function<void()> wake);

    void started(int drive, const aspi::RequestBlock& block,
                 const bridge::Command& command) override;
    void finished(int drive, const aspi::RequestBlock& block, const bridge::Command& command,
                  const bridge::Outcome& outcome) override;
    void completed() override { wake_(); }

    // Milliseconds since the session began, as the recording counts them.
    int64_t now() { return static_cast<uint32_t>(tickCount_() - start_); }

private:
    platform::Console& console_;
    bool verbose_;
    recorder::Recording* recording_;
    std::vector<std::string> names_;
    std::function<uint32_t()> tickCount_;
    std::function<void()> wake_;
    uint32_t start_;
    // The request under way (the worker carries out one at a time).
    int requests_ = 0;
    aspi::trace::Request request_;
    std::vector<uint8_t> before_;
};

// The bytes as two-digit hexadecimal numbers with a blank between them.
std::string hexBytes(const uint8_t* data, std::size_t length);

} // namespace console
