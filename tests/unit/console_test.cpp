// The command-line flasher's own rules: its command line, how its questions are answered, the
// time limits the bridge gives the drive commands, and what a file read as a flasher holds.
#include <gtest/gtest.h>

#include <deque>

#include "app/console/bridged_drives.h"
#include "app/console/options.h"
#include "app/console/terminal.h"
#include "package/flasher_file.h"
#include "platform/fake/memory_files.h"

namespace {

TEST(ConsoleOptions, TakesTheCommandLinesOfItsCommandsOnly) {
    const struct {
        std::vector<std::string> words;
        bool ok;
    } rows[] = {
        {{"scan"}, true},
        {{"flash", "F.EXE", "/dev/sg1", "--yes", "--allow-older", "-v"}, true},
        {{"flash", "F.EXE", "--record", "R.TXT"}, true},
        {{"build", "T.EXE", "A.BIN", "B.BIN", "-C", "out"}, true},
        {{"--help"}, true},
        {{"flash"}, false},                                  // no flasher
        {{"flash", "F.EXE", "D:", "E:"}, false},             // two devices
        {{"info", "F.EXE", "--yes"}, false},                 // a question only flash asks
        {{"build", "T.EXE", "A.BIN", "B.BIN", "-v"}, false}, // no drive to show
        {{"scan", "--record", "R", "--simulate", "S"}, false},
        {{"scan", "--record"}, false}, // no value
        {{"erase"}, false},
        {{}, false},
    };
    for (const auto& row : rows) {
        console::Options options;
        std::string error;
        EXPECT_EQ(row.ok, console::parseOptions(row.words, options, error))
            << (row.words.empty() ? "" : row.words[0]) << ": " << error;
        EXPECT_EQ(row.ok, error.empty());
    }
}

// A console that answers from a script and notes what was written to it.
struct ScriptedConsole : platform::Console {
    bool terminal = true;
    std::deque<std::string> lines;
    std::string written;
    void out(const std::string& text) override { written += text; }
    void err(const std::string& text) override { written += text; }
    bool errIsTerminal() override { return false; }
    int width() override { return 80; }
    bool inIsTerminal() override { return terminal; }
    bool readLine(std::string& line) override {
        if (lines.empty()) {
            return false;
        }
        line = lines.front();
        lines.pop_front();
        return true;
    }
};

TEST(ConsoleQuestions, YesAnswersTheUpdateQuestionNeverTheWarning) {
    using platform::BoxKind;
    const struct {
        BoxKind kind;
        bool yes, older, terminal;
        const char* typed; // null: nothing more to read
        int answer;
    } rows[] = {
        {BoxKind::Confirm, true, false, false, nullptr, platform::AnswerYes},
        {BoxKind::Warning, true, false, false, nullptr, platform::AnswerNo},
        {BoxKind::Warning, true, false, true, "y", platform::AnswerYes},
        {BoxKind::Warning, false, true, false, nullptr, platform::AnswerYes},
        {BoxKind::Confirm, false, false, true, "yes", platform::AnswerYes},
        {BoxKind::Confirm, false, false, true, "n", platform::AnswerNo},
        {BoxKind::Confirm, false, false, true, "", platform::AnswerNo},
        {BoxKind::Confirm, false, false, true, nullptr, platform::AnswerNo}, // end of input
        {BoxKind::Confirm, false, false, false, "y", platform::AnswerNo},    // no terminal
    };
    for (const auto& row : rows) {
        ScriptedConsole console;
        console.terminal = row.terminal;
        if (row.typed != nullptr) {
            console.lines.push_back(row.typed);
        }
        console::TerminalDialogs dialogs(console, row.yes, row.older);
        EXPECT_EQ(row.answer, dialogs.show(row.kind, "\nUpdate FW:KV80 to FW:KV81 ?\n",
                                           platform::ButtonYes | platform::ButtonNo))
            << console.written;
        EXPECT_EQ(0u, console.written.find("Update FW:KV80 to FW:KV81 ? [y/N] "));
    }
}

TEST(ConsoleBridge, EachCommandsOwnLimitRunsOutBeforeTheSystemEndsIt) {
    using aspi::DriveCommands;
    const struct {
        std::vector<uint8_t> cdb;
        unsigned long own;
    } rows[] = {
        {{0x12, 0, 0, 0, 0x24, 0}, DriveCommands::InquiryTimeoutMs},
        {{0x00, 0, 0, 0, 0, 0}, DriveCommands::TestUnitReadyLimitMs},
        {{0x1B, 0, 0, 0, 3, 0}, DriveCommands::StartUnitLimitMs},
        {{0x1B, 0, 0, 0, 0, 0}, DriveCommands::StopUnitLimitMs},
        {{0x3B, 5, 1, 0, 0, 0, 0, 0x40, 0, 0}, DriveCommands::WriteBlockLimitMs},
        {{0x3B, 5, 1, 0, 0, 0, 0, 0, 1, 0x80}, DriveCommands::CommitSeconds * 1000ul},
        {{0x3C, 1, 1, 0, 0, 0, 0, 0x40, 0, 0}, DriveCommands::ReadBlockLimitMs},
    };
    for (const auto& row : rows) {
        bridge::Command command;
        std::copy(row.cdb.begin(), row.cdb.end(), command.cdb);
        command.cdbLength = static_cast<uint8_t>(row.cdb.size());
        EXPECT_GT(console::requestLimitMs(command), row.own) << int{row.cdb[0]};
    }
}

TEST(ConsoleFlasherFile, TellsFlasherTemplateAndFilesWithoutAPackage) {
    const std::string keyword("BIN-START-ADDR\0", 15);
    const std::string slots(2 * package::ImageSize, 'x');
    const struct {
        std::string bytes;
        package::FileKind kind;
    } rows[] = {
        {"MZ" + keyword + slots + "tail", package::FileKind::Flasher},
        {keyword + "PELO01" + slots.substr(6), package::FileKind::Template},
        {keyword + slots.substr(1), package::FileKind::NoPackage}, // one byte short
        {"no keyword at all", package::FileKind::NoPackage},
    };
    for (const auto& row : rows) {
        platform::fake::MemoryFiles files;
        files.files["F.EXE"].assign(row.bytes.begin(), row.bytes.end());
        package::FlasherFile file;
        ASSERT_TRUE(package::readFlasherFile(files, "F.EXE", file));
        EXPECT_EQ(row.kind, file.kind);
        EXPECT_EQ(package::SelfCheck::Damaged, file.check); // no PE headers
        if (row.kind != package::FileKind::NoPackage) {
            EXPECT_EQ(row.bytes.data() + keyword.size() + (row.bytes[0] == 'M' ? 2 : 0),
                      row.bytes.data() + (file.zolk() - file.bytes.data()));
        }
        EXPECT_EQ(0, files.openFiles());
    }
    package::FlasherFile none;
    platform::fake::MemoryFiles empty;
    EXPECT_FALSE(package::readFlasherFile(empty, "F.EXE", none));
}

} // namespace
