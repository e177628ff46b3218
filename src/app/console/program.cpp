#include "app/console/program.h"

#include <exception>
#include <new>

#include "app/console/terminal.h"

#ifndef KXD_VERSION
#define KXD_VERSION "0"
#endif

namespace console {

const char* const HelpText =
    "kxdflash: the firmware update utility for the KXD-7316 CD-RW drive, on the command line.\n"
    "\n"
    "  scan                 every SCSI device, with its identification; supported ones marked\n"
    "  info FILE.EXE        what a flasher or template holds, and its self-check\n"
    "  flash FILE.EXE [DEVICE]\n"
    "                       writes the flasher's image for the drive's edition, reads every\n"
    "                       block back and compares it, then has the drive take it; without\n"
    "                       DEVICE the one supported drive\n"
    "  build TEMPLATE ZOLK.BIN NONZOLK.BIN [-C DIR]\n"
    "                       makes the flasher W9X<revisions>.EXE in DIR (default: here)\n"
    "\n"
    "  -y, --yes            answers the update question with yes (never the warning before\n"
    "                       older firmware)\n"
    "  --allow-older        answers the warning before older firmware with yes\n"
    "  --record FILE        records every request and answer (FILE and its .BIN beside it)\n"
    "  --simulate SCENARIO  the simulated drive instead of the system's devices\n"
    "  -v, --verbose        every command and its outcome on the standard error\n"
    "  -h, --help           this text;  -V, --version  the version\n"
    "\n"
    "Exit status: 0 done, 1 usage, 2 no such device, 3 permission, 4 not supported,\n"
    "5 declined, 6 drive error, 7 verify mismatch, 8 timeout, 9 interrupted, 10 drive busy,\n"
    "11 file error. See kxdflash(1).\n"
    "\n"
    "Don't turn off the system while a flash is in progress.\n";

int runProgram(const std::vector<std::string>& arguments, platform::Console& console,
               platform::FileSystem& files, const DriveMaker& makeDrives) {
    Options options;
    std::string error;
    if (!parseOptions(arguments, options, error)) {
        console.err("kxdflash: " + error + "\n" + UsageText);
        return ExitUsage;
    }
    if (options.help) {
        console.out(std::string(HelpText) + "\n" + UsageText);
        return ExitOk;
    }
    if (options.version) {
        console.out("kxdflash " KXD_VERSION "\n");
        return ExitOk;
    }
    try {
        Context context{options, console, files};
        if (options.command == "info") {
            return info(context);
        }
        if (options.command == "build") {
            return build(context);
        }
        Exit exit = ExitOk;
        std::unique_ptr<DriveSource> drives = makeDrives(options, exit);
        if (!drives) {
            return exit;
        }
        exit = options.command == "scan" ? scan(context, *drives) : flash(context, *drives);
        if (!drives->finish() && exit == ExitOk) {
            exit = ExitFileError;
        }
        if (!drives->idle()) {
            // A drive still holds a request: what it may write into stays until the end.
            drives.release();
        }
        return exit;
    } catch (const std::bad_alloc&) {
        console.err("kxdflash: out of memory\n");
    } catch (const std::exception& e) {
        console.err(std::string("kxdflash: ") + e.what() + "\n");
    }
    return ExitFileError;
}

} // namespace console
