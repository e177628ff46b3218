#include "app/console/commands.h"

#include <memory>

#include "app/console/console_drive.h"
#include "app/console/terminal.h"
#include "app/form_drive.h"
#include "package/firmware_area.h"
#include "package/flasher_file.h"
#include "package/flasher_writer.h"
#include "package/naming.h"
#include "package/self_check.h"
#include "update/flash_procedure.h"

namespace console {
namespace {

std::string bareName(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

Exit fail(Context& c, Exit exit, const std::string& text) {
    c.console.err("kxdflash: " + text + "\n");
    return exit;
}

// The window's side of the drive over a console: the drive commands on the source's drives,
// the bar, the status line and the drive list.
struct Session {
    Session(Context& c, DriveSource& source)
        : dialogs(c.console, c.options.yes, c.options.allowOlder), bar(c.console),
          status(c.console, bar), drive(source.system(), dialogs, bar, choice, status, data) {
        dialogs.setBar(&bar);
        source.connect(drive.layer());
    }
    TerminalDialogs dialogs;
    TerminalBar bar;
    StatusLine status;
    DriveChoice choice;
    aspi::DriveData data;
    app::FormDrive drive;
};

// A drive answered INQUIRY when its description is filled.
bool answered(const DriveEntry& e) {
    return e.slot.Description[0] != '\0';
}

std::string listing(const DriveEntry& e, bool supported) {
    std::string line = e.name;
    if (!e.refusal.empty()) {
        line += "  cannot open: " + e.refusal;
    } else if (!answered(e)) {
        line += "  no answer to INQUIRY";
    } else {
        line += std::string("  ") + e.slot.Description + (supported ? "  (supported)" : "");
    }
    return line + (e.others.empty() ? "" : "  [" + e.others + "]") + "\n";
}

// The flash procedure of the flasher, with a restart advised instead of offered.
class ConsoleFlash : public update::FlashProcedure {
public:
    ConsoleFlash(ConsoleDrive& window, Session& s, platform::System& system,
                 const update::FlasherImages& images, platform::Console& console)
        : FlashProcedure(window, s.drive.layer(), s.data, system, s.dialogs, images),
          console_(console) {}

private:
    void offerRestart() override {
        console_.err("The new firmware takes effect once the system is restarted (or the drive "
                     "is powered off and on); kxdflash does not restart it.\n");
    }
    platform::Console& console_;
};

Exit exitFor(update::Outcome outcome, const ConsoleDrive& drive, bool timedOut) {
    if (drive.interrupted() || platform::interruptions() > 0) {
        return ExitInterrupted;
    }
    switch (outcome) {
    case update::Outcome::Completed:
        return ExitOk;
    case update::Outcome::Declined:
        return ExitDeclined;
    case update::Outcome::NotSupported:
        return ExitNotSupported;
    case update::Outcome::NoDrive:
        return ExitNoDevice;
    case update::Outcome::NoTargetRevision:
        return ExitUsage;
    case update::Outcome::VerifyFailed:
        return ExitVerifyMismatch;
    default:
        return timedOut ? ExitTimeout : ExitDriveError;
    }
}

} // namespace

Exit scan(Context& c, DriveSource& source) {
    Session s(c, source);
    if (source.entries().empty()) {
        c.console.err("kxdflash: no SCSI devices\n");
    }
    for (DriveEntry& e : source.entries()) {
        const bool supported = e.refusal.empty() && s.drive.CheckInquiry(&e.slot) == 1;
        c.console.out(listing(e, supported));
    }
    return ExitOk;
}

Exit info(Context& c) {
    const std::string& path = c.options.operands[0];
    package::FlasherFile file;
    if (!package::readFlasherFile(c.files, path, file)) {
        return fail(c, ExitFileError, "cannot read " + path);
    }
    if (file.kind == package::FileKind::NoPackage) {
        return fail(c, ExitUsage, path + " holds no firmware package: no flasher, no template");
    }
    std::string text = path + ": ";
    if (file.kind == package::FileKind::Template) {
        text += "template (it builds flashers: kxdflash build)\n";
    } else {
        const std::string zolk = update::withUpperFourth(package::zolkTargetRevision(path));
        const std::string nonZolk = update::withUpperFourth(package::nonZolkTargetRevision(path));
        text += "flasher\n";
        text +=
            "  ZOL-K image:    " + (zolk.empty() ? "?" : zolk) + ", for drives at KV8? and KV9?\n";
        text += "  NonZOL-K image: " + (nonZolk.empty() ? "?" : nonZolk) +
                ", for drives at KV0? to KV7?\n";
    }
    const package::SelfCheck check = file.check;
    switch (check) {
    case package::SelfCheck::Intact:
        text += "  self-check:     intact (its checksum matches)\n";
        break;
    case package::SelfCheck::NoChecksum:
        text += "  self-check:     no checksum of its own to hold it to\n";
        break;
    case package::SelfCheck::Damaged:
        text += "  self-check:     DAMAGED (its checksum does not match)\n";
        break;
    case package::SelfCheck::Unreadable:
        text += "  self-check:     unreadable\n";
        break;
    }
    c.console.out(text);
    return package::refusalOf(check) != nullptr ? ExitFileError : ExitOk;
}

Exit flash(Context& c, DriveSource& source) {
    // The flasher file first: nothing reaches a drive from a file that is not a whole flasher.
    const std::string& path = c.options.operands[0];
    package::FlasherFile file;
    if (!package::readFlasherFile(c.files, path, file)) {
        return fail(c, ExitFileError, "cannot read " + path);
    }
    if (file.kind != package::FileKind::Flasher) {
        return fail(c, ExitUsage,
                    path + (file.kind == package::FileKind::Template
                                ? " is a template: build a flasher from it first"
                                : " holds no firmware package: it is no flasher"));
    }
    if (const char* refusal = package::refusalOf(file.check)) {
        return fail(c, ExitFileError, path + ": " + refusal);
    }

    Session s(c, source);
    std::vector<DriveEntry>& entries = source.entries();
    DriveEntry* chosen = nullptr;
    if (c.options.operands.size() > 1) {
        const std::string& wanted = c.options.operands[1];
        for (DriveEntry& e : entries) {
            if (source.names(e, wanted)) {
                chosen = &e;
            }
        }
        if (chosen == nullptr) {
            return fail(c, ExitNoDevice, "no device " + wanted + " (kxdflash scan lists them)");
        }
        if (!chosen->refusal.empty()) {
            return fail(c, chosen->refusalExit, wanted + " cannot be opened: " + chosen->refusal);
        }
        if (s.drive.CheckInquiry(&chosen->slot) != 1) {
            return answered(*chosen)
                       ? fail(c, ExitNotSupported,
                              wanted + " is no supported drive: " + chosen->slot.Description)
                       : fail(c, ExitNoDevice, wanted + " does not answer INQUIRY");
        }
    } else {
        std::string seen;
        int supported = 0;
        for (DriveEntry& e : entries) {
            const bool ok = e.refusal.empty() && s.drive.CheckInquiry(&e.slot) == 1;
            seen += "  " + listing(e, ok);
            if (ok) {
                ++supported;
                chosen = chosen == nullptr ? &e : chosen;
            }
        }
        if (supported != 1) {
            return fail(c, ExitNoDevice,
                        std::string(supported == 0 ? "no supported drive found"
                                                   : "more than one supported drive: name one") +
                            (seen.empty() ? "" : "\n" + seen.substr(0, seen.size() - 1)));
        }
    }

    std::string why;
    Exit refused = ExitOk;
    if (!source.mayFlash(*chosen, why, refused)) {
        return fail(c, refused, why);
    }
    std::unique_ptr<platform::RunLock> lock;
    const std::string lockName = source.lockName(*chosen);
    if (!lockName.empty()) {
        std::string holder;
        lock =
            platform::takeRunLock(lockName, "kxdflash flash " + path + " " + chosen->name, holder);
        if (!lock) {
            return fail(c, ExitBusy, chosen->name + " is held by another run: " + holder);
        }
    }

    // The drive list holds the chosen drive in its first slot.
    s.data.SlotTable[0] = chosen->slot;
    s.data.ListMap[0] = 0;
    s.choice.addItem(chosen->slot.Description);
    s.choice.setItemIndex(0);
    c.console.err("Drive " + chosen->name + ": " + chosen->slot.Description + "\n");

    ConsoleDrive drive(s.drive, s.data, s.bar, s.dialogs);
    update::FlasherImages images;
    images.zolk = file.zolk();
    images.nonZolk = file.nonZolk();
    images.path = path;
    ConsoleFlash procedure(drive, s, source.system(), images, c.console);
    const update::Outcome outcome = procedure.run();
    const Exit exit = exitFor(outcome, drive, s.drive.commandTimedOut());
    s.bar.finishLine();
    if (exit == ExitOk) {
        c.console.out("Flash Completed.\n");
    } else if (exit == ExitInterrupted && !drive.interrupted()) {
        c.console.err("Interrupted: nothing was sent to the drive.\n");
    }
    return exit;
}

namespace {

class BuildReport : public package::WriterReport {
public:
    explicit BuildReport(platform::Console& console) : console_(console) {}
    void copyStarted(long long) override {}
    void copyStepped() override {}
    void failed(const std::string& text) override { console_.err(text + "\n"); }

private:
    platform::Console& console_;
};

} // namespace

Exit build(Context& c) {
    const std::vector<std::string>& o = c.options.operands;
    package::FlasherJob job;
    job.templatePath = o[0];
    job.zolkPath = o[1];
    job.nonZolkPath = o[2];
    job.zolkName = bareName(o[1]);
    job.nonZolkName = bareName(o[2]);
    job.outputName = package::flasherName(job.zolkName, job.nonZolkName);
    // The messages name the template as the builder window names itself.
    job.programName = bareName(o[0]);
    if (!c.options.directory.empty()) {
        job.templatePath = platform::absolutePath(job.templatePath);
        job.zolkPath = platform::absolutePath(job.zolkPath);
        job.nonZolkPath = platform::absolutePath(job.nonZolkPath);
        if (!platform::changeDirectory(c.options.directory)) {
            return fail(c, ExitFileError, "cannot change to " + c.options.directory);
        }
    }
    BuildReport report(c.console);
    if (!package::FlasherWriter(c.files).write(job, report)) {
        return ExitFileError;
    }
    c.console.out("Build " + job.outputName + " ok!\n");
    return ExitOk;
}

} // namespace console
