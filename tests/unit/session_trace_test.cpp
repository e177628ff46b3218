// The recorded session's text form: what the recording layer writes reads back the same, data
// beyond the inline limit through the side file, and what is no trace of this version, was
// changed, cut off or lost requests is refused, with its line where it has one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aspi/session_trace.h"

namespace {

using aspi::trace::Direction;
using aspi::trace::Request;

// The lines given, and the end line with their checksum.
std::string sealed(const std::string& text) {
    uint32_t crc = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        crc = aspi::trace::lineCrc(text.substr(at, end - at), crc);
        at = end + 1;
    }
    return text + aspi::trace::endLine(crc) + "\n";
}

std::vector<uint8_t> pattern(std::size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return data;
}

TEST(SessionTrace, WhatIsWrittenReadsBackTheSame) {
    Request inquiry;
    inquiry.number = 1;
    inquiry.completed = 3;
    inquiry.target = 1;
    inquiry.flags = 0x48;
    inquiry.direction = Direction::In;
    inquiry.dataLength = 36;
    inquiry.cdb = {0x12, 0, 0, 0, 0x24, 0};
    inquiry.dataIn = pattern(36, 1);
    inquiry.status = 0x01;
    Request block = inquiry;
    block.number = 2;
    block.submitted = 10;
    block.completed = 160;
    block.flags = 0;
    block.direction = aspi::trace::directionOf(0, 0x3B, 16384);
    block.dataLength = 16384;
    block.cdb = {0x3B, 5, 1, 0, 0x40, 0, 0, 0x40, 0, 0, 0, 0};
    block.dataIn.clear();
    block.dataOut = pattern(16384, 9);
    Request failed = inquiry;
    failed.number = 3;
    failed.dataIn.clear();
    failed.status = 0x04;
    failed.targetStatus = 0x02;
    failed.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0, 0, 0};
    Request pending = block;
    pending.number = 4;
    pending.completed = -1;
    pending.cdb[9] = 0x80;

    std::vector<uint8_t> side;
    const aspi::trace::SideWriter writer = [&side](const uint8_t* data, std::size_t length) {
        const uint64_t at = side.size();
        side.insert(side.end(), data, data + length);
        return at;
    };
    std::string text =
        aspi::trace::headerLine() + "\n# a comment\n" + aspi::trace::supportLine(0, 0x0103) + "\n";
    // Written as they complete: the pending one at the end, the failed one before the block.
    for (const Request* r : {&inquiry, &failed, &block, &pending}) {
        text += aspi::trace::requestLine(*r, writer) + "\n";
    }
    EXPECT_EQ(side.size(), 2u * 16384) << "only the two large blocks go to the side file";

    aspi::trace::Session session;
    std::string error;
    ASSERT_TRUE(aspi::trace::parse(sealed(text), side, session, error)) << error << "\n" << text;
    EXPECT_EQ(session.support, 0x0103u);
    ASSERT_EQ(session.requests.size(), 4u);
    const Request* written[] = {&inquiry, &block, &failed, &pending};
    for (std::size_t i = 0; i < 4; ++i) {
        const Request& a = *written[i];
        const Request& b = session.requests[i];
        EXPECT_EQ(aspi::trace::requestLine(b, nullptr), aspi::trace::requestLine(a, nullptr));
        EXPECT_EQ(b.dataOut, a.dataOut) << i;
        EXPECT_EQ(b.completed, a.completed) << i;
    }
}

TEST(SessionTrace, RefusesWhatIsNoWholeUnchangedTraceOfThisVersion) {
    const std::string header = "kxd-aspi-trace 2\n";
    const std::string good = "request 1 t=0 end=1 cmd=02 ha=0 target=1 lun=0 flags=00 dir=none "
                             "len=0 cdb=00.00.00.00.00.00 out=- in=- status=01 ha-status=00 "
                             "target-status=00 sense=-";
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        line.replace(line.find(from), from.size(), to);
        return sealed(header + line + "\n");
    };
    const std::string whole = sealed(header + good + "\n");
    std::string edited = whole; // a byte changed after the recording was written
    edited.replace(edited.find("status=01"), 9, "status=04");
    struct Row {
        std::string text;
        std::string error;
    };
    const Row rows[] = {
        {sealed("kxd-aspi-trace 3\n"), "line 1: not a kxd-aspi-trace 2 file"},
        {"kxd-aspi-trace 1\n" + good + "\n# end\n",
         "line 1: a recording of format 1, which carries no checksum: record it again"},
        {"", "empty trace"},
        {edited, "the recording does not match its checksum: it was changed after it was recorded"},
        {header + good + "\n", "the recording is cut off after line 2: it has no end line (it "
                               "was not written to its end)"},
        {whole + good + "\n", "line 4: text after the end line"},
        {sealed(header + "lost 21 23\n"), "line 2: requests 21 23 could not be written when "
                                          "recorded (a full or failing disk): the recording is "
                                          "not whole"},
        {sealed(header + good + "\n" + good + "\n"), "request 2 is missing or written twice"},
        {with("cmd=02", "cmd=01"), "line 2: only command code 02 is recorded as a request"},
        {with("end=1", "end=pending"), "line 2: a pending request has no status"},
        {with("cdb=00.00.00.00.00.00", "cdb=00.0"), "line 2: bad cdb"},
        {with("out=-", "out=bin:0+16:00000000"), "line 2: side-file reference past its end "
                                                 "bin:0+16:00000000"},
        {with("sense=-", "sense=hex:7"), "line 2: bad hex data hex:7"},
        {with(" sense=-", ""), "line 2: missing field sense"},
        {with("t=0", "t=-1"), "line 2: bad t"},
        {sealed(header + "frobnicate\n"), "line 2: unknown line frobnicate"},
    };
    for (const Row& r : rows) {
        aspi::trace::Session session;
        std::string error;
        EXPECT_FALSE(aspi::trace::parse(r.text, {}, session, error)) << r.text;
        EXPECT_EQ(error, r.error) << r.text;
    }
    aspi::trace::Session session;
    std::string error;
    EXPECT_TRUE(aspi::trace::parse(whole, {}, session, error)) << error;
    // Line ends do not count: a copy with other line ends checks the same.
    std::string crlf;
    for (char c : whole) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_TRUE(aspi::trace::parse(crlf, {}, session, error)) << error;
}

} // namespace
