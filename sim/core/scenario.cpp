#include "sim/core/scenario.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "sim/core/words.h"

namespace sim {

namespace {

// Inside quotes \\, \" and \xNN (any byte, a NUL among them); any other escaped character
// stands for itself.
void scenarioEscape(const std::string& line, std::size_t& i, std::string& word) {
    if (line[i] == 'x' && i + 2 < line.size()) {
        word += static_cast<char>(std::strtoul(line.substr(i + 1, 2).c_str(), nullptr, 16));
        i += 3;
    } else {
        word += line[i++];
    }
}

constexpr WordRules ScenarioWords{true, scenarioEscape};

bool number(const std::string& text, long long& value, int base = 10) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, base);
    return *end == '\0';
}

// A time in milliseconds, from 0 to a day: due times stay far from the end of their range.
bool milliseconds(const std::string& text, int64_t& value) {
    long long n = 0;
    if (!number(text, n) || n < 0 || n > 86400000) {
        return false;
    }
    value = n;
    return true;
}

bool slot(const std::string& text, uint8_t& ha, uint8_t& target) {
    const size_t colon = text.find(':');
    long long a, t;
    if (colon == std::string::npos || !number(text.substr(0, colon), a) ||
        !number(text.substr(colon + 1), t) || a < 0 || a > 255 || t < 0 || t > 255) {
        return false;
    }
    ha = static_cast<uint8_t>(a);
    target = static_cast<uint8_t>(t);
    return true;
}

bool deviceOption(const std::string& key, const std::string& value, DeviceSpec& d) {
    long long n = 0;
    if (key == "vendor") {
        d.vendor = value;
    } else if (key == "product") {
        d.product = value;
    } else if (key == "revision") {
        d.revision = value;
    } else if (key == "new-revision") {
        d.newRevision = value;
    } else if (key == "disc") {
        if (value != "present" && value != "absent") {
            return false;
        }
        d.discPresent = value == "present";
    } else if (key == "type" && number(value, n, 16)) {
        d.peripheralType = static_cast<uint8_t>(n);
    } else if (key == "ready-polls" && number(value, n)) {
        d.readyPolls = static_cast<int>(n);
    } else if (key == "commit-ms") {
        return milliseconds(value, d.commitMs);
    } else if (key == "latency") {
        return milliseconds(value, d.latencyMs);
    } else if (key == "dies-after" && number(value, n)) {
        d.diesAfter = static_cast<int>(n);
    } else {
        return false;
    }
    return true;
}

// The errors a device node's ioctl fails with when the transport or the device gives up.
bool errnoNamed(const std::string& name, int& error) {
    static const struct {
        const char* name;
        int value;
    } known[] = {{"EIO", EIO},     {"ENODEV", ENODEV}, {"ENXIO", ENXIO},
                 {"EBUSY", EBUSY}, {"ENOMEM", ENOMEM}, {"EAGAIN", EAGAIN},
                 {"EINTR", EINTR}, {"EPERM", EPERM},   {"EACCES", EACCES}};
    for (const auto& k : known) {
        if (name == k.name) {
            error = k.value;
            return true;
        }
    }
    return false;
}

bool faultOption(const std::string& key, const std::string& value, Fault& f) {
    long long n = 0;
    if (key == "occurrence") {
        if (value == "*") {
            f.occurrence = 0;
        } else if (number(value, n) && n > 0) {
            f.occurrence = static_cast<int>(n);
        } else {
            return false;
        }
    } else if (key == "status" && number(value, n, 16)) {
        f.status = static_cast<int>(n);
    } else if (key == "sense") {
        unsigned k, a, q;
        if (std::sscanf(value.c_str(), "%x/%x/%x", &k, &a, &q) != 3) {
            return false;
        }
        f.senseKey = static_cast<int>(k);
        f.asc = static_cast<int>(a);
        f.ascq = static_cast<int>(q);
    } else if (key == "delay") {
        return milliseconds(value, f.delayMs);
    } else if (key == "corrupt" && number(value, n)) {
        f.corruptOffset = n;
    } else if (key == "errno") {
        return errnoNamed(value, f.error);
    } else if (key == "host-status" && number(value, n, 16) && n > 0 && n <= 0xFF) {
        f.hostStatus = static_cast<int>(n);
    } else if (key == "driver-status" && number(value, n, 16) && n > 0 && n <= 0xFF) {
        f.driverStatus = static_cast<int>(n);
    } else if (key == "resid" && number(value, n) && n >= 0) {
        f.residual = n;
    } else if (key == "scsi-status" && number(value, n, 16) && n > 0 && n <= 0xFF) {
        f.scsiStatus = static_cast<int>(n);
    } else {
        return false;
    }
    return true;
}

} // namespace

bool Scenario::parse(const std::string& text, Scenario& scenario, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::vector<std::string> w;
        std::string why;
        if (!splitWords(line, ScenarioWords, w, why)) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        if (w.empty()) {
            continue;
        }
        const std::string& what = w[0];
        bool ok = true;
        long long n = 0;
        if (what == "support-status" && w.size() == 2 && number(w[1], n, 16)) {
            scenario.supportStatus = static_cast<uint8_t>(n);
        } else if (what == "adapters" && w.size() == 2 && number(w[1], n)) {
            scenario.adapters = static_cast<uint8_t>(n);
        } else if (what == "latency" && w.size() == 2) {
            ok = milliseconds(w[1], scenario.latencyMs);
        } else if (what == "trace" && w.size() == 2) {
            scenario.tracePath = w[1];
        } else if (what == "save-firmware" && w.size() == 2) {
            scenario.firmwarePath = w[1];
        } else if (what == "replay" && (w.size() == 2 || (w.size() == 3 && w[2] == "timing"))) {
            scenario.replayPath = w[1];
            scenario.replayTiming = w.size() == 3;
        } else if (what == "device" && w.size() >= 3) {
            DeviceSpec d;
            ok = slot(w[1], d.hostAdapter, d.target);
            if (w[2] == "other") {
                d.drive = false;
                d.peripheralType = 0x00;
                d.vendor = "SIMBUS  ";
                d.product = "FIXED DISK";
                d.revision = "1.00";
            } else if (w[2] != "kxd") {
                ok = false;
            }
            for (size_t i = 3; ok && i < w.size(); ++i) {
                const size_t eq = w[i].find('=');
                ok = eq != std::string::npos &&
                     deviceOption(w[i].substr(0, eq), w[i].substr(eq + 1), d);
            }
            scenario.devices.push_back(d);
        } else if (what == "fault" && w.size() >= 3) {
            Fault f;
            ok = slot(w[1], f.hostAdapter, f.target);
            if (w[2] == "any") {
                f.opcode = -1;
            } else {
                ok = ok && number(w[2], n, 16) && n >= 0 && n <= 255;
                f.opcode = static_cast<int>(n);
            }
            for (size_t i = 3; ok && i < w.size(); ++i) {
                if (w[i] == "never" || w[i] == "throw") {
                    (w[i] == "never" ? f.never : f.raise) = true;
                    continue;
                }
                const size_t eq = w[i].find('=');
                ok = eq != std::string::npos &&
                     faultOption(w[i].substr(0, eq), w[i].substr(eq + 1), f);
            }
            scenario.faults.push_back(f);
        } else {
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(lineNumber) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    return true;
}

bool Scenario::load(const std::string& path, Scenario& scenario, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = "cannot open " + path;
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) != 0) {
        text.append(chunk, n);
    }
    std::fclose(f);
    return parse(text, scenario, error);
}

} // namespace sim
