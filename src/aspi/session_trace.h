// A recorded ASPI session: every request a program sent to an ASPI layer and what the layer
// answered, as the recording layer writes it and the simulated drive replays it. Plain text,
// one request a line (format in layers/README.md); data blocks longer than InlineData bytes
// stand in a side file, named by offset, length and CRC-32. The last line holds the CRC-32 of
// every line before it, so that a recording changed or cut off afterwards is known as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace aspi::trace {

constexpr int FormatVersion = 2;
constexpr const char* Magic = "kxd-aspi-trace";
constexpr std::size_t InlineData = 64;

enum class Direction { None, In, Out };

// One request block of command code 02h (execute SCSI command) and its outcome.
struct Request {
    int number = 0;
    int64_t submitted = 0;  // ms since the session's first call
    int64_t completed = -1; // -1: the layer never completed it
    uint8_t hostAdapter = 0, target = 0, lun = 0, flags = 0;
    Direction direction = Direction::None;
    uint32_t dataLength = 0;
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> dataOut; // what the program sent (direction Out)
    std::vector<uint8_t> dataIn;  // what the layer wrote into the buffer (direction In)
    uint8_t status = 0, hostStatus = 0, targetStatus = 0;
    std::vector<uint8_t> sense; // the sense area as the layer left it; empty when all zero
};

struct Session {
    bool hasSupport = false;
    uint32_t support = 0; // GetASPI32SupportInfo's answer
    std::vector<Request> requests;
};

// The direction of a request's data: from the flags where they name one, else from the
// operation code (commands whose data goes to the device are few and known).
Direction directionOf(uint8_t flags, uint8_t opcode, uint32_t dataLength);

// Appends bytes to the side file and returns the offset they start at.
using SideWriter = std::function<uint64_t(const uint8_t* data, std::size_t length)>;

std::string headerLine();
std::string supportLine(int64_t at, uint32_t value);
std::string requestLine(const Request& request, const SideWriter& side);
// The requests whose lines could not be written when they completed (the disk was full, say).
std::string lostLine(const std::vector<int>& numbers);
// The last line: `crc` is lineCrc over every line before it, in order.
std::string endLine(uint32_t crc);
// The checksum of the lines so far (`previous`, 0 for none) and one more line, taken without its
// line end: a recording checks the same whatever line ends a copy of it has.
uint32_t lineCrc(const std::string& line, uint32_t previous);

// Reads a whole trace and its side file (empty when it has none). False, with the reason in
// `error` (line number first where there is one), when the text is no trace of this version,
// does not match its checksum, is cut off before its end line or lost requests.
bool parse(const std::string& text, const std::vector<uint8_t>& side, Session& session,
           std::string& error);

// The request as one line for messages: number, target, CDB, data sizes.
std::string describe(const Request& request);

// CRC-32 (ISO-HDLC); `previous` is the CRC of the bytes before, to go on from.
uint32_t crc32(const uint8_t* data, std::size_t length, uint32_t previous = 0);

} // namespace aspi::trace
