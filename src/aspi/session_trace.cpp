#include "aspi/session_trace.h"

#include <algorithm>

#include "platform/text_format.h"

namespace aspi::trace {
namespace {

constexpr const char* Digits = "0123456789ABCDEF";

void appendHex(std::string& out, const uint8_t* data, std::size_t length, const char* separator) {
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0 && separator != nullptr) {
            out += separator;
        }
        out += Digits[data[i] >> 4];
        out += Digits[data[i] & 0x0F];
    }
}

std::string dataField(const std::vector<uint8_t>& data, const SideWriter& side) {
    if (data.empty()) {
        return "-";
    }
    std::string out;
    if (data.size() <= InlineData || !side) {
        out = "hex:";
        appendHex(out, data.data(), data.size(), nullptr);
        return out;
    }
    const uint64_t offset = side(data.data(), data.size());
    return platform::formatText("bin:%lu+%lu:%08lX", static_cast<unsigned long>(offset),
                                static_cast<unsigned long>(data.size()),
                                static_cast<unsigned long>(crc32(data.data(), data.size())));
}

const char* directionName(Direction direction) {
    switch (direction) {
    case Direction::In:
        return "in";
    case Direction::Out:
        return "out";
    case Direction::None:
        break;
    }
    return "none";
}

// Reading: words of one line as key=value pairs.
struct Fields {
    std::vector<std::pair<std::string, std::string>> pairs;
    const std::string* find(const char* key) const {
        for (const auto& p : pairs) {
            if (p.first == key) {
                return &p.second;
            }
        }
        return nullptr;
    }
};

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) {
            ++at;
        }
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') {
            ++at;
        }
        if (at > start) {
            out.push_back(line.substr(start, at - start));
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Digits only (no sign, no blank), at most `limit`.
bool number(const std::string& text, int base, uint64_t limit, uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    uint64_t parsed = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0 || digit >= base ||
            parsed > (limit - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
            return false;
        }
        parsed = parsed * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    value = parsed;
    return true;
}

bool hexBytes(const std::string& text, char separator, std::vector<uint8_t>& out) {
    out.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        if (at + 1 >= text.size()) {
            return false;
        }
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(high * 16 + low));
        at += 2;
        if (separator != '\0' && at < text.size()) {
            if (text[at] != separator) {
                return false;
            }
            ++at;
            if (at == text.size()) {
                return false;
            }
        }
    }
    return true;
}

bool dataValue(const std::string& text, const std::vector<uint8_t>& side, std::vector<uint8_t>& out,
               std::string& error) {
    out.clear();
    if (text == "-") {
        return true;
    }
    if (text.compare(0, 4, "hex:") == 0) {
        if (!hexBytes(text.substr(4), '\0', out) || out.empty()) {
            error = "bad hex data " + text;
            return false;
        }
        return true;
    }
    if (text.compare(0, 4, "bin:") == 0) {
        const std::size_t plus = text.find('+');
        const std::size_t colon = text.find(':', 4);
        uint64_t offset = 0, length = 0, crc = 0;
        if (plus == std::string::npos || colon == std::string::npos || colon < plus ||
            !number(text.substr(4, plus - 4), 10, UINT64_MAX, offset) ||
            !number(text.substr(plus + 1, colon - plus - 1), 10, 1u << 24, length) ||
            !number(text.substr(colon + 1), 16, UINT32_MAX, crc) || length == 0) {
            error = "bad side-file reference " + text;
            return false;
        }
        if (offset > side.size() || length > side.size() - offset) {
            error = "side-file reference past its end " + text;
            return false;
        }
        out.assign(side.begin() + static_cast<std::ptrdiff_t>(offset),
                   side.begin() + static_cast<std::ptrdiff_t>(offset + length));
        if (crc32(out.data(), out.size()) != crc) {
            error = "side-file data does not match its CRC " + text;
            return false;
        }
        return true;
    }
    error = "bad data " + text;
    return false;
}

bool parseRequest(const std::vector<std::string>& w, const std::vector<uint8_t>& side, Request& r,
                  std::string& error) {
    Fields f;
    uint64_t n = 0;
    if (w.size() < 2 || !number(w[1], 10, INT32_MAX, n)) {
        error = "bad request number";
        return false;
    }
    r.number = static_cast<int>(n);
    for (std::size_t i = 2; i < w.size(); ++i) {
        const std::size_t eq = w[i].find('=');
        if (eq == std::string::npos) {
            error = "bad field " + w[i];
            return false;
        }
        f.pairs.emplace_back(w[i].substr(0, eq), w[i].substr(eq + 1));
    }
    static const char* const keys[] = {
        "t",   "end", "cmd", "ha", "target", "lun",       "flags",         "dir",
        "len", "cdb", "out", "in", "status", "ha-status", "target-status", "sense"};
    for (const char* key : keys) {
        if (f.find(key) == nullptr) {
            error = std::string("missing field ") + key;
            return false;
        }
    }
    if (f.pairs.size() != sizeof keys / sizeof keys[0]) {
        error = "unknown or repeated field";
        return false;
    }
    uint64_t v = 0;
    const auto hex8 = [&](const char* key, uint8_t& out) {
        if (!number(*f.find(key), 16, 0xFF, v) || f.find(key)->size() != 2) {
            error = std::string("bad ") + key;
            return false;
        }
        out = static_cast<uint8_t>(v);
        return true;
    };
    const auto dec8 = [&](const char* key, uint8_t& out) {
        if (!number(*f.find(key), 10, 0xFF, v)) {
            error = std::string("bad ") + key;
            return false;
        }
        out = static_cast<uint8_t>(v);
        return true;
    };
    uint8_t cmd = 0;
    if (!number(*f.find("t"), 10, INT64_MAX, v)) {
        error = "bad t";
        return false;
    }
    r.submitted = static_cast<int64_t>(v);
    const bool pending = *f.find("end") == "pending";
    if (pending) {
        r.completed = -1;
    } else if (!number(*f.find("end"), 10, INT64_MAX, v) || static_cast<int64_t>(v) < r.submitted) {
        error = "bad end";
        return false;
    } else {
        r.completed = static_cast<int64_t>(v);
    }
    if (!hex8("cmd", cmd) || !dec8("ha", r.hostAdapter) || !dec8("target", r.target) ||
        !dec8("lun", r.lun) || !hex8("flags", r.flags)) {
        return false;
    }
    if (cmd != 0x02) {
        error = "only command code 02 is recorded as a request";
        return false;
    }
    const std::string& dir = *f.find("dir");
    r.direction = dir == "in" ? Direction::In : dir == "out" ? Direction::Out : Direction::None;
    if (dir != "in" && dir != "out" && dir != "none") {
        error = "bad dir";
        return false;
    }
    if (!number(*f.find("len"), 10, UINT32_MAX, v)) {
        error = "bad len";
        return false;
    }
    r.dataLength = static_cast<uint32_t>(v);
    if (!hexBytes(*f.find("cdb"), '.', r.cdb) || r.cdb.empty() || r.cdb.size() > 16) {
        error = "bad cdb";
        return false;
    }
    if (!dataValue(*f.find("out"), side, r.dataOut, error) ||
        !dataValue(*f.find("in"), side, r.dataIn, error) ||
        !dataValue(*f.find("sense"), side, r.sense, error)) {
        return false;
    }
    if (r.dataOut.size() > r.dataLength || r.dataIn.size() > r.dataLength || r.sense.size() > 16) {
        error = "data longer than the request";
        return false;
    }
    if (pending) {
        for (const char* key : {"status", "ha-status", "target-status"}) {
            if (*f.find(key) != "-") {
                error = std::string("a pending request has no ") + key;
                return false;
            }
        }
        return true;
    }
    return hex8("status", r.status) && hex8("ha-status", r.hostStatus) &&
           hex8("target-status", r.targetStatus);
}

} // namespace

Direction directionOf(uint8_t flags, uint8_t opcode, uint32_t dataLength) {
    if (dataLength == 0) {
        return Direction::None;
    }
    switch (flags & 0x18) {
    case 0x08:
        return Direction::In;
    case 0x10:
        return Direction::Out;
    default:
        break;
    }
    // Direction from the command: the data of these goes to the device (WRITE(6), MODE SELECT,
    // SEND DIAGNOSTIC, WRITE(10), WRITE AND VERIFY, WRITE BUFFER, MODE SELECT(10), WRITE(12)).
    switch (opcode) {
    case 0x0A:
    case 0x15:
    case 0x1D:
    case 0x2A:
    case 0x2E:
    case 0x3B:
    case 0x55:
    case 0xAA:
        return Direction::Out;
    default:
        return Direction::In;
    }
}

std::string headerLine() {
    return std::string(Magic) + " " + std::to_string(FormatVersion);
}

std::string supportLine(int64_t at, uint32_t value) {
    return platform::formatText("support t=%lu value=%08lX", static_cast<unsigned long>(at),
                                static_cast<unsigned long>(value));
}

std::string requestLine(const Request& r, const SideWriter& side) {
    std::string cdb;
    appendHex(cdb, r.cdb.data(), r.cdb.size(), ".");
    std::string line = platform::formatText(
        "request %d t=%lu end=%s cmd=02 ha=%u target=%u lun=%u flags=%02X dir=%s len=%lu cdb=%s",
        r.number, static_cast<unsigned long>(r.submitted),
        r.completed < 0 ? "pending" : std::to_string(r.completed).c_str(), unsigned{r.hostAdapter},
        unsigned{r.target}, unsigned{r.lun}, unsigned{r.flags}, directionName(r.direction),
        static_cast<unsigned long>(r.dataLength), cdb.c_str());
    line += " out=" + dataField(r.dataOut, side);
    line += " in=" + dataField(r.dataIn, side);
    if (r.completed < 0) {
        line += " status=- ha-status=- target-status=-";
    } else {
        line += platform::formatText(" status=%02X ha-status=%02X target-status=%02X",
                                     unsigned{r.status}, unsigned{r.hostStatus},
                                     unsigned{r.targetStatus});
    }
    line += " sense=" + dataField(r.sense, nullptr);
    return line;
}

std::string lostLine(const std::vector<int>& numbers) {
    std::string line = "lost";
    for (int n : numbers) {
        line += " " + std::to_string(n);
    }
    return line;
}

std::string endLine(uint32_t crc) {
    return platform::formatText("end crc=%08lX", static_cast<unsigned long>(crc));
}

uint32_t lineCrc(const std::string& line, uint32_t previous) {
    std::size_t length = line.size();
    while (length > 0 && line[length - 1] == '\r') {
        --length;
    }
    const uint8_t newline = '\n';
    return crc32(&newline, 1,
                 crc32(reinterpret_cast<const uint8_t*>(line.data()), length, previous));
}

bool parse(const std::string& text, const std::vector<uint8_t>& side, Session& session,
           std::string& error) {
    session = Session();
    std::size_t at = 0;
    int lineNumber = 0;
    bool header = false;
    bool ended = false;
    uint32_t crc = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        const std::vector<std::string> w = words(line);
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (ended) {
            if (!w.empty()) {
                error = where + "text after the end line";
                return false;
            }
            continue;
        }
        if (w.size() == 2 && w[0] == "end" && header) {
            uint64_t recorded = 0;
            if (w[1].compare(0, 4, "crc=") != 0 ||
                !number(w[1].substr(4), 16, UINT32_MAX, recorded)) {
                error = where + "bad end line";
                return false;
            }
            if (recorded != crc) {
                error = "the recording does not match its checksum: it was changed after it "
                        "was recorded";
                return false;
            }
            ended = true;
            continue;
        }
        crc = lineCrc(line, crc);
        if (w.empty() || w[0][0] == '#') {
            continue;
        }
        std::string why;
        if (!header) {
            if (w.size() == 2 && w[0] == Magic && w[1] == "1") {
                error = where + "a recording of format 1, which carries no checksum: record it "
                                "again";
                return false;
            }
            if (w.size() != 2 || w[0] != Magic || w[1] != std::to_string(FormatVersion)) {
                error = where + "not a " + headerLine() + " file";
                return false;
            }
            header = true;
        } else if (w[0] == "lost") {
            why = w.size() > 2 ? "requests" : "request";
            for (std::size_t i = 1; i < w.size(); ++i) {
                why += " " + w[i];
            }
            why += " could not be written when recorded (a full or failing disk): the "
                   "recording is not whole";
        } else if (w[0] == "support") {
            uint64_t value = 0;
            if (w.size() != 3 || w[1].compare(0, 2, "t=") != 0 ||
                w[2].compare(0, 6, "value=") != 0 ||
                !number(w[2].substr(6), 16, UINT32_MAX, value)) {
                why = "bad support line";
            } else {
                session.hasSupport = true;
                session.support = static_cast<uint32_t>(value);
            }
        } else if (w[0] == "request") {
            Request r;
            if (parseRequest(w, side, r, why)) {
                session.requests.push_back(std::move(r));
            }
        } else {
            why = "unknown line " + w[0];
        }
        if (!why.empty()) {
            error = where + why;
            return false;
        }
    }
    if (!header) {
        error = "empty trace";
        return false;
    }
    if (!ended) {
        error = "the recording is cut off after line " + std::to_string(lineNumber) +
                ": it has no end line (it was not written to its end)";
        return false;
    }
    // Written as they completed (a request never completed comes last): in the order sent.
    std::sort(session.requests.begin(), session.requests.end(),
              [](const Request& a, const Request& b) { return a.number < b.number; });
    for (std::size_t i = 0; i < session.requests.size(); ++i) {
        if (session.requests[i].number != static_cast<int>(i) + 1) {
            error = "request " + std::to_string(i + 1) + " is missing or written twice";
            return false;
        }
    }
    return true;
}

std::string describe(const Request& r) {
    std::string cdb;
    appendHex(cdb, r.cdb.data(), r.cdb.size(), " ");
    std::string text =
        platform::formatText("#%d %u:%u flags %02X cdb %s, %lu bytes", r.number,
                             unsigned{r.hostAdapter}, unsigned{r.target}, unsigned{r.flags},
                             cdb.c_str(), static_cast<unsigned long>(r.dataLength));
    if (!r.dataOut.empty()) {
        text += platform::formatText(" out (CRC %08lX)", static_cast<unsigned long>(crc32(
                                                             r.dataOut.data(), r.dataOut.size())));
    }
    return text;
}

uint32_t crc32(const uint8_t* data, std::size_t length, uint32_t previous) {
    uint32_t crc = ~previous;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

} // namespace aspi::trace
