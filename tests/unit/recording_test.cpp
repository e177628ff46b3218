// The recording layer's files on a disk of the test's own: whole at every step (so that the
// process may end at any moment without a word more written), and a disk that fills up loses
// whole requests only, which the recording then names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "recording.h"

namespace {

namespace trace = aspi::trace;

// Files sharing the room of one disk; a write that does not fit writes what fits and fails,
// as a full disk does.
struct DiskFile : recorder::File {
    uint64_t& room;
    std::string bytes;
    explicit DiskFile(uint64_t& disk) : room(disk) {}
    bool writeAt(uint64_t offset, const void* data, std::size_t length) override {
        const uint64_t grow = offset + length > bytes.size() ? offset + length - bytes.size() : 0;
        const uint64_t fits = length - (grow > room ? grow - room : 0);
        room -= grow > room ? room : grow;
        bytes.resize(std::max<std::size_t>(bytes.size(), offset + fits));
        std::memcpy(&bytes[offset], data, fits);
        return fits == length;
    }
    bool truncate(uint64_t length) override {
        room += bytes.size() > length ? bytes.size() - length : 0;
        bytes.resize(std::min<std::size_t>(bytes.size(), length));
        return true;
    }
};

// A block written to the drive, as the flasher sends it.
trace::Request block(int number) {
    trace::Request r;
    r.number = number;
    r.submitted = number * 10;
    r.target = 1;
    r.direction = trace::Direction::Out;
    r.dataLength = 16384;
    r.cdb = {0x3B, 5, 1, 0, static_cast<uint8_t>(number), 0, 0, 0x40, 0, 0, 0, 0};
    r.dataOut.assign(16384, static_cast<uint8_t>(number));
    return r;
}

trace::Request done(trace::Request r) {
    r.completed = r.submitted + 5;
    r.status = 0x01;
    return r;
}

struct Recorded {
    uint64_t room;
    DiskFile text{room}, side{room};
    recorder::Recording recording{text, side};
    explicit Recorded(uint64_t disk) : room(disk) {}

    // What a replay makes of the files now: the error, or the states of the requests.
    std::string read() const {
        trace::Session session;
        std::string error;
        if (!trace::parse(text.bytes, std::vector<uint8_t>(side.bytes.begin(), side.bytes.end()),
                          session, error)) {
            return error;
        }
        std::string states;
        for (const trace::Request& r : session.requests) {
            states += std::to_string(r.number) + (r.completed < 0 ? "p " : "c ");
        }
        return states;
    }
};

TEST(Recording, IsWholeAtEveryStepWithThePendingRequestsLast) {
    Recorded r(1 << 20);
    ASSERT_TRUE(r.recording.begin({"program C:\\FLASH\\W9XKV8105.EXE"}));
    EXPECT_EQ(r.read(), "");
    r.recording.support(0, 0x0103);
    const char* const expected[] = {"1p ", "1c ", "1c 2p ", "1c 2p 3p ", "1c 2p 3c "};
    r.recording.submitted(block(1));
    EXPECT_EQ(r.read(), expected[0]);
    r.recording.completed(done(block(1)));
    EXPECT_EQ(r.read(), expected[1]);
    r.recording.submitted(block(2));
    EXPECT_EQ(r.read(), expected[2]);
    r.recording.submitted(block(3));
    EXPECT_EQ(r.read(), expected[3]);
    r.recording.completed(done(block(3)));
    EXPECT_EQ(r.read(), expected[4]);
    EXPECT_FALSE(r.recording.failed());
    EXPECT_EQ(r.side.bytes.size(), 3u * 16384) << "each block once";
}

TEST(Recording, AFullDiskLosesWholeRequestsWhichTheRecordingThenNames) {
    // Room for the header and a little more than two blocks.
    Recorded r(2 * 16384 + 4000);
    ASSERT_TRUE(r.recording.begin({}));
    for (int n = 1; n <= 4; ++n) {
        r.recording.submitted(block(n));
        r.recording.completed(done(block(n)));
        // Never a line cut in two: the text ends with a whole line.
        ASSERT_EQ(r.text.bytes.substr(r.text.bytes.size() - 2), "\r\n") << n;
    }
    EXPECT_TRUE(r.recording.failed());
    EXPECT_EQ(r.recording.lost(), (std::vector<int>{3, 4}));
    EXPECT_EQ(r.read(), "line 4: request 3 could not be written when recorded (a full or "
                        "failing disk): the recording is not whole");
    EXPECT_NE(r.text.bytes.find("\r\nlost 3\r\nlost 4\r\nend crc="), std::string::npos)
        << "the one lost last named in the end lines";
    // Room again: the next request is written, after the line that names the lost one.
    r.room = 1 << 20;
    r.recording.completed(done(block(5)));
    EXPECT_NE(r.text.bytes.find("\r\nlost 4\r\nrequest 5 "), std::string::npos);

    // A disk too full for even the header: begin says so, and nothing is left half written.
    Recorded full(10);
    EXPECT_FALSE(full.recording.begin({"program X"}));
    EXPECT_TRUE(full.text.bytes.empty());
}

} // namespace
