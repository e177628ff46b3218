#include "app/console/options.h"

namespace console {

const char* const UsageText =
    "usage: kxdflash scan [--record FILE] [--simulate SCENARIO] [-v]\n"
    "       kxdflash info FILE.EXE\n"
    "       kxdflash flash FILE.EXE [DEVICE] [--yes] [--allow-older] [--record FILE]\n"
    "                [--simulate SCENARIO] [-v]\n"
    "       kxdflash build TEMPLATE ZOLK.BIN NONZOLK.BIN [-C DIR]\n"
    "       kxdflash --help | --version\n";

namespace {

struct Command {
    const char* name;
    std::size_t least, most; // operands
    bool drive;              // takes --record, --simulate, -v
};

const Command Commands[] = {
    {"scan", 0, 0, true},
    {"info", 1, 1, false},
    {"flash", 1, 2, true},
    {"build", 3, 3, false},
};

} // namespace

bool parseOptions(const std::vector<std::string>& arguments, Options& o, std::string& error) {
    bool operandsOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= arguments.size()) {
                error = a + " needs a value";
                return false;
            }
            into = arguments[++i];
            return true;
        };
        if (operandsOnly || a.empty() || a[0] != '-' || a == "-") {
            if (o.command.empty()) {
                o.command = a;
            } else {
                o.operands.push_back(a);
            }
        } else if (a == "--") {
            operandsOnly = true;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "-V" || a == "--version") {
            o.version = true;
        } else if (a == "-y" || a == "--yes") {
            o.yes = true;
        } else if (a == "--allow-older") {
            o.allowOlder = true;
        } else if (a == "-v" || a == "--verbose") {
            o.verbose = true;
        } else if (a == "--record" || a == "--simulate" || a == "-C") {
            if (!value(a == "--record" ? o.record : a == "--simulate" ? o.simulate : o.directory)) {
                return false;
            }
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (o.help || o.version) {
        return true;
    }
    for (const Command& c : Commands) {
        if (o.command != c.name) {
            continue;
        }
        if (o.operands.size() < c.least || o.operands.size() > c.most) {
            error = "wrong number of operands for " + o.command;
            return false;
        }
        if (!c.drive && (!o.record.empty() || !o.simulate.empty() || o.verbose)) {
            error = o.command + " talks to no drive: --record, --simulate and -v do not apply";
            return false;
        }
        if (o.command != "flash" && (o.yes || o.allowOlder)) {
            error = "--yes and --allow-older answer the questions of flash only";
            return false;
        }
        if (o.command != "build" && !o.directory.empty()) {
            error = "-C applies to build only";
            return false;
        }
        if (!o.record.empty() && !o.simulate.empty()) {
            error = "--record records a drive; a simulated drive keeps its own trace";
            return false;
        }
        return true;
    }
    error = o.command.empty() ? "no command given" : "unknown command " + o.command;
    return false;
}

} // namespace console
