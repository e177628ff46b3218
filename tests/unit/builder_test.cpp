#include "builder_fixture.h"

#include "package/unit_texts.h"

namespace {

using buildertest::BuilderWindow;
using buildertest::Bytes;
using buildertest::bytesOf;
using buildertest::image;
using buildertest::join;
using buildertest::Keyword;
using buildertest::pattern;
using buildertest::templateFile;
using buildertest::withImages;
using package::ImageSize;

const std::string Output = "W9XKV8105.EXE";
const std::string TemplateName = "W9XKVXXXX.EXE";

// KV81.BIN, KV05.BIN and a template with some code before and after the package area.
void standardFiles(BuilderWindow& w, const Bytes& templateBytes) {
    w.put("KV81.BIN", image(81));
    w.put("KV05.BIN", image(5));
    w.put(TemplateName, templateBytes);
}

Bytes standardTemplate() {
    return templateFile(pattern(3000, 1), pattern(5000, 2));
}

std::vector<std::string> inputsAnd(std::vector<std::string> names) {
    names.insert(names.end(), {"KV05.BIN", "KV81.BIN", TemplateName});
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BuilderSetUp, ShowsTheFileListsAndCaptionsOfBuilderMode) {
    BuilderWindow w;
    w.put("KV81.BIN", image(1));
    w.put("KV05.BIN", image(2));
    w.list1.dir = "C:\\ELSEWHERE";
    w.button.isEnabled = true;
    w.label2.shown = false;
    w.list1.shown = w.list2.shown = false;

    w.builder.SetUpWindow();

    EXPECT_FALSE(w.combo.shown);
    EXPECT_TRUE(w.label2.shown);
    EXPECT_TRUE(w.list1.shown);
    EXPECT_TRUE(w.list2.shown);
    EXPECT_EQ("KV8?.BIN;KV9?.BIN;", w.list1.maskText);
    EXPECT_EQ("KV0?.BIN;KV1?.BIN;KV2?.BIN;KV3?.BIN;KV4?.BIN;KV5?.BIN;KV6?.BIN;KV7?.BIN;",
              w.list2.maskText);
    EXPECT_EQ("Quorven-Tek  Flash utility   V1.015  KXD-7316 [Buiding]", w.window.text);
    EXPECT_EQ("Select ZOL-K BIN file.", w.label1.text);
    EXPECT_EQ("Select NonZOL-K BIN file.", w.label2.text);
    EXPECT_EQ("Build", w.button.text);
    EXPECT_FALSE(w.button.isEnabled);
    EXPECT_EQ("C:\\WORK", w.list1.dir);
    EXPECT_EQ("C:\\WORK", w.list2.dir);
    EXPECT_EQ(std::vector<std::string>{"KV81.BIN"}, w.list1.items);
    EXPECT_EQ(std::vector<std::string>{"KV05.BIN"}, w.list2.items);
    EXPECT_EQ(-1, w.list1.index);
    EXPECT_EQ(-1, w.list2.index);
}

TEST(BuilderSetUp, FirstListIsPointedAtTheCurrentDirectoryOfTheCurrentDrive) {
    struct Case {
        std::string current, expected;
    } cases[] = {
        {"\\", "C:\\"},
        {"\\WORK", "C:\\WORK"},
        {"\\WORK\\SUB DIR", "C:\\WORK\\SUB DIR"},
    };
    for (const Case& c : cases) {
        BuilderWindow w;
        w.files.setCurrentDirectory(c.current);
        EXPECT_EQ(c.expected, app::currentDirectoryText(w.files));
        w.builder.SetUpWindow();
        EXPECT_EQ(c.expected, w.list1.dir);
    }
}

TEST(BuilderLists, OfferThePlainFilesMatchingEachMaskSortedByName) {
    BuilderWindow w;
    for (const char* name :
         {"KV9Z.BIN", "kv81.bin", "KV8.BIN", "KV812.BIN", "KV85.TXT", "XKV81.BIN", "KV05.BIN",
          "Kv7a.Bin", "KV80.BIN.BAK", "KV8A.BINX", "KV1.BIN", "KV15.BIN", "W9XKVXXXX.EXE"}) {
        w.put(name, bytesOf("x"));
    }
    ::mkdir(w.work("KV88.BIN").c_str(), 0755); // a directory is no choice
    w.builder.SetUpWindow();
    EXPECT_EQ((std::vector<std::string>{"KV8.BIN", "kv81.bin", "KV9Z.BIN"}), w.list1.items);
    EXPECT_EQ((std::vector<std::string>{"KV05.BIN", "KV1.BIN", "KV15.BIN", "Kv7a.Bin"}),
              w.list2.items);
}

TEST(BuilderLists, ButtonIsEnabledOnceEachListHasAChoiceAndStaysEnabled) {
    struct Case {
        bool first;  // click in the first list first
        bool second; // and then in the other one
    } cases[] = {{true, false}, {false, true}, {true, true}};
    for (const Case& c : cases) {
        BuilderWindow w;
        standardFiles(w, standardTemplate());
        w.builder.SetUpWindow();
        if (c.first) {
            w.list1.select("KV81.BIN");
            w.builder.FileListBox1Click();
            EXPECT_EQ("Select BIN file: KV81.BIN", w.label1.text);
            EXPECT_EQ("KV81.BIN", w.names.ZolkFileName);
            EXPECT_FALSE(w.button.isEnabled);
        }
        if (c.second) {
            w.list2.select("KV05.BIN");
            w.builder.FileListBox2Click();
            EXPECT_EQ("NonZOL-K BIN file: KV05.BIN", w.label2.text);
            EXPECT_EQ("KV05.BIN", w.names.NonZolkFileName);
        }
        EXPECT_EQ(c.first && c.second, w.button.isEnabled);
        if (c.first && c.second) {
            // A failed build and a selection lost do not disable it again.
            w.files.faults.failCreate = true;
            w.builder.FlashButtonClick();
            w.list1.index = -1;
            w.builder.FileListBox1Click();
            EXPECT_TRUE(w.button.isEnabled);
            EXPECT_EQ("Select BIN file: ", w.label1.text);
        }
    }
}

TEST(BuilderBuild, WritesTheFlasherNamedAfterBothRevisions) {
    BuilderWindow w;
    const Bytes head = pattern(3000, 1), tail = pattern(5000, 2);
    const Bytes tmpl = templateFile(head, tail);
    standardFiles(w, tmpl);
    w.choose("KV81.BIN", "KV05.BIN");
    w.bar.pos = 50;

    w.builder.FlashButtonClick();

    EXPECT_TRUE(w.dialogs.shown.empty()) << w.notices().front();
    EXPECT_EQ("W9XKV8105.EXE", w.names.OutputFlasherName);
    EXPECT_EQ((std::vector<std::string>{"Building W9XKV8105.EXE...", "Build W9XKV8105.EXE ok!"}),
              w.frame.painted);
    EXPECT_EQ("Build W9XKV8105.EXE ok!", w.frame.text);
    const Bytes built = w.get(Output);
    ASSERT_EQ(tmpl.size(), built.size());
    EXPECT_TRUE(built == withImages(tmpl, head.size() + 15, image(81), image(5)));
    EXPECT_EQ(inputsAnd({Output}), w.listing()); // no temporary file left over
    EXPECT_EQ(0, w.files.openFiles());
    EXPECT_EQ(4, w.files.filesOpened());
    EXPECT_EQ((std::vector<platform::CursorShape>{platform::CursorShape::Hourglass,
                                                  platform::CursorShape::Default}),
              w.system.cursorChanges);
    // The bar counts the template in steps of 1024 and ends at 0.
    EXPECT_EQ(0, w.bar.lo);
    EXPECT_EQ(static_cast<int32_t>(tmpl.size()), w.bar.hi);
    EXPECT_EQ(1024, w.bar.stepSize);
    EXPECT_EQ(0, w.bar.pos);
    // Scan: offsets 0, 1024, 2048 (keyword's NUL at 3014); slots: 512; tail offsets from
    // 527303 to 532302 that are one more than a multiple of 1024: 527361, 528385, 529409,
    // 530433, 531457.
    EXPECT_EQ(3 + 512 + 5, w.bar.stepCalls);

    // The same two files build the same flasher again, over the first.
    w.builder.FlashButtonClick();
    EXPECT_TRUE(w.dialogs.shown.empty());
    EXPECT_TRUE(w.get(Output) == built);
    EXPECT_EQ(inputsAnd({Output}), w.listing());
}

TEST(BuilderBuild, FindsTheFirstWholeKeyword) {
    const Bytes zolk = image(81), nonZolk = image(5);
    const Bytes slots = templateFile({}, {});
    struct Case {
        const char* what;
        Bytes file;
        std::size_t slot;
    } cases[] = {
        {"at the start", templateFile({}, pattern(100, 3)), 15},
        {"after a leading part of itself", templateFile(bytesOf("BIN-START-"), {}), 25},
        {"directly after a 'B'", templateFile(bytesOf("B"), pattern(10, 4)), 16},
        {"after the text without its NUL", templateFile(bytesOf("BIN-START-ADDRX"), {}), 30},
        {"after a keyword cut short at the end of a buffer",
         templateFile(join({pattern(65536 - 7, 5), bytesOf("BIN-STA")}), pattern(10, 6)),
         65536 + 15},
        {"twice: the first one counts", join({bytesOf(Keyword), slots}), 15},
        {"ending exactly after the second slot", templateFile(pattern(2048, 7), {}), 2048 + 15},
    };
    for (const Case& c : cases) {
        BuilderWindow w;
        w.put("KV81.BIN", zolk);
        w.put("KV05.BIN", nonZolk);
        w.put(TemplateName, c.file);
        w.choose("KV81.BIN", "KV05.BIN");
        EXPECT_TRUE(w.builder.NewBuildFlashProgram()) << c.what;
        EXPECT_TRUE(w.dialogs.shown.empty()) << c.what;
        EXPECT_TRUE(w.get(Output) == withImages(c.file, c.slot, zolk, nonZolk)) << c.what;
        EXPECT_EQ(0, w.files.openFiles()) << c.what;
    }
}

// A failed build tells one notice, closes every file, leaves no new file and keeps an earlier
// flasher of the same name as it was.
TEST(BuilderBuild, FailuresLeaveNothingNewAndKeepAnEarlierFlasher) {
    const std::string problem = "Building fail: some problem in BUILDER.EXE";
    const std::string noKeyword = "Building fail: not found key-word in BUILDER.EXE";
    const Bytes tmpl = standardTemplate();
    const Bytes keywordCut = join({pattern(500, 9), bytesOf("BIN-START-ADDR"), pattern(500, 8)});
    const Bytes shortSecondSlot(tmpl.begin(), tmpl.begin() + 3015 + ImageSize + 1000);

    struct Case {
        const char* what;
        std::function<void(BuilderWindow&)> arrange;
        std::string notice;
        bool barSetUp; // the bar had been set to the template when the build failed
    } cases[] = {
        {"ZOL-K file does not open",
         [](BuilderWindow& w) { w.files.faults.failOpen = {"kv81.bin"}; }, "Open KV81.BIN fail!",
         false},
        {"NonZOL-K file does not open",
         [](BuilderWindow& w) { w.files.faults.failOpen = {"KV05.BIN"}; }, "Open KV05.BIN fail!",
         false},
        {"ZOL-K file one byte short",
         [](BuilderWindow& w) { w.put("KV81.BIN", pattern(262143, 1)); },
         "KV81.BINfile size != 256K", false},
        {"ZOL-K file one byte long",
         [](BuilderWindow& w) { w.put("KV81.BIN", pattern(262145, 1)); },
         "KV81.BINfile size != 256K", false},
        {"NonZOL-K file one byte short",
         [](BuilderWindow& w) { w.put("KV05.BIN", pattern(262143, 1)); },
         "KV05.BINfile size != 256K", false},
        {"NonZOL-K file one byte long",
         [](BuilderWindow& w) { w.put("KV05.BIN", pattern(262145, 1)); },
         "KV05.BINfile size != 256K", false},
        {"template missing", [](BuilderWindow& w) { ::unlink(w.work(TemplateName).c_str()); },
         "Open W9XKVXXXX.EXE fail!", false},
        {"output cannot be created", [](BuilderWindow& w) { w.files.faults.failCreate = true; },
         "Create W9XKV8105.EXE Fail", true},
        {"no temporary name to be had",
         [](BuilderWindow& w) { w.files.faults.failTempFile = true; }, "Create W9XKV8105.EXE Fail",
         true},
        {"no keyword", [](BuilderWindow& w) { w.put(TemplateName, pattern(100000, 3)); }, noKeyword,
         true},
        {"keyword text without its NUL",
         [keywordCut](BuilderWindow& w) { w.put(TemplateName, keywordCut); }, noKeyword, true},
        {"template ends inside the second slot",
         [shortSecondSlot](BuilderWindow& w) { w.put(TemplateName, shortSecondSlot); }, problem,
         true},
        {"disk full in the first slot", [](BuilderWindow& w) { w.files.faults.diskFree = 100000; },
         problem, true},
        {"disk full in the tail",
         [](BuilderWindow& w) { w.files.faults.diskFree = 3015 + 2 * 262144 + 10; }, problem, true},
        {"template read breaks off in the scan",
         [](BuilderWindow& w) {
             w.files.faults.readLimit = {{TemplateName, 1000}};
         },
         problem, true},
        {"template read breaks off in the tail",
         [](BuilderWindow& w) {
             w.files.faults.readLimit = {{TemplateName, 530000}};
         },
         problem, true},
        {"image read breaks off",
         [](BuilderWindow& w) {
             w.files.faults.readLimit = {{"KV05.BIN", 200000}};
         },
         problem, true},
        {"output does not close", [](BuilderWindow& w) { w.files.faults.failCloseWritten = true; },
         problem, true},
        {"template does not close",
         [](BuilderWindow& w) { w.files.faults.failClose = {TemplateName}; }, problem, true},
        {"output cannot be renamed into place",
         [](BuilderWindow& w) {
             w.files.faults.failRenameAt = 1;
             w.files.faults.failRenamesFrom = true;
         },
         "Create W9XKV8105.EXE Fail", true},
        {"output not put on the disk", [](BuilderWindow& w) { w.files.faults.failFlush = true; },
         problem, true},
    };
    for (const bool earlier : {false, true}) {
        for (const Case& c : cases) {
            const std::string what = std::string(c.what) + (earlier ? ", earlier flasher" : "");
            BuilderWindow w;
            w.system.modulePathValue = "C:\\TOOLS\\BUILDER.EXE";
            standardFiles(w, tmpl);
            const Bytes old = bytesOf("an earlier flasher");
            if (earlier) {
                w.put(Output, old);
            }
            w.choose("KV81.BIN", "KV05.BIN");
            c.arrange(w);
            const std::vector<std::string> arranged = w.listing();
            int openDuringNotice = -1;
            w.dialogs.onShow = [&](const platform::fake::ShownBox&) {
                openDuringNotice = w.files.openFiles();
            };
            w.bar.pos = 7;

            EXPECT_FALSE(w.builder.NewBuildFlashProgram()) << what;

            EXPECT_EQ(std::vector<std::string>{c.notice}, w.notices()) << what;
            EXPECT_EQ(platform::BoxKind::Notice, w.dialogs.shown.at(0).kind) << what;
            EXPECT_EQ(arranged, w.listing()) << what;
            EXPECT_EQ(earlier, w.has(Output)) << what;
            if (earlier) {
                EXPECT_TRUE(w.get(Output) == old) << what;
            }
            EXPECT_EQ(0, w.files.openFiles()) << what;
            // Told after the files are closed, except a NonZOL-K file that would not open,
            // which is told before the ZOL-K file is closed.
            EXPECT_EQ(std::string(c.what) == "NonZOL-K file does not open" ? 1 : 0,
                      openDuringNotice)
                << what;
            EXPECT_EQ("Building W9XKV8105.EXE...", w.frame.text) << what;
            EXPECT_EQ(c.barSetUp, w.bar.hi != 100) << what;
        }
    }
}

TEST(BuilderBuild, ReplacesAnEarlierFlasherOnlyWhenTheNewOneIsComplete) {
    const std::string cannotCreate = "Create W9XKV8105.EXE Fail";
    struct Case {
        const char* what;
        int failRenameAt;
        bool failRenamesFrom;
        int failRemoveAt;
        bool built;
        // What holds the earlier flasher afterwards: its own name, a temporary name, or gone;
        // or its own name, with the empty file that should have made room for it left over.
        enum { Kept, Aside, Gone, KeptBesideEmpty } earlier;
    } cases[] = {
        {"every step works", 0, false, 0, true, Case::Gone},
        {"the name set aside cannot be freed", 0, false, 1, false, Case::KeptBesideEmpty},
        {"moving the earlier one aside fails", 1, false, 0, false, Case::Kept},
        {"the new one cannot take the name: the earlier one comes back", 2, false, 0, false,
         Case::Kept},
        {"nor can the earlier one come back", 2, true, 0, false, Case::Aside},
        {"the earlier one cannot be removed: it comes back", 0, false, 2, false, Case::Kept},
    };
    for (const Case& c : cases) {
        BuilderWindow w;
        const Bytes tmpl = standardTemplate();
        standardFiles(w, tmpl);
        const Bytes old = bytesOf("an earlier flasher");
        w.put(Output, old);
        w.choose("KV81.BIN", "KV05.BIN");
        w.files.faults.failRenameAt = c.failRenameAt;
        w.files.faults.failRenamesFrom = c.failRenamesFrom;
        w.files.faults.failRemoveAt = c.failRemoveAt;

        EXPECT_EQ(c.built, w.builder.NewBuildFlashProgram()) << c.what;

        const Bytes expected = withImages(tmpl, 3015, image(81), image(5));
        const std::vector<std::string> temps = w.temporaries();
        if (c.built) {
            EXPECT_TRUE(w.get(Output) == expected) << c.what;
        } else {
            EXPECT_EQ(std::vector<std::string>{cannotCreate}, w.notices()) << c.what;
        }
        if (c.earlier == Case::Kept || c.earlier == Case::KeptBesideEmpty) {
            EXPECT_TRUE(w.get(Output) == old) << c.what;
        }
        if (c.earlier == Case::Aside || c.earlier == Case::KeptBesideEmpty) {
            ASSERT_EQ(1u, temps.size()) << c.what;
            EXPECT_TRUE(w.get(temps[0]) == (c.earlier == Case::Aside ? old : Bytes{})) << c.what;
        } else {
            EXPECT_TRUE(temps.empty()) << c.what;
        }
        // Never a file under the flasher's name other than the earlier one or the whole new one.
        if (w.has(Output)) {
            EXPECT_TRUE(w.get(Output) == old || w.get(Output) == expected) << c.what;
        }
        EXPECT_EQ(0, w.files.openFiles()) << c.what;
    }
}

// Only what creating the flasher in place would have emptied is replaced; anything else under
// its name is left as it is, and the build ends as an output that cannot be created.
TEST(BuilderBuild, ReplacesOnlyAWritableFileNoOtherProgramHolds) {
    const std::string cannotCreate = "Create W9XKV8105.EXE Fail";
    const Bytes old = bytesOf("an earlier flasher");
    struct Case {
        const char* what;
        std::function<void(BuilderWindow&)> arrange;
        bool built;
    } cases[] = {
        {"nothing", [](BuilderWindow&) {}, true},
        {"an earlier flasher", [&old](BuilderWindow& w) { w.put(Output, old); }, true},
        {"a folder holding a file",
         [](BuilderWindow& w) {
             ::mkdir(w.work(Output).c_str(), 0755);
             w.put(Output + "/KEEP.TXT", bytesOf("kept"));
         },
         false},
        {"an empty folder", [](BuilderWindow& w) { ::mkdir(w.work(Output).c_str(), 0755); }, false},
        {"a read-only earlier flasher",
         [&old](BuilderWindow& w) {
             w.put(Output, old);
             ::chmod(w.work(Output).c_str(), 0444);
         },
         false},
        {"an earlier flasher another program holds open",
         [&old](BuilderWindow& w) {
             w.put(Output, old);
             w.files.faults.locked = {Output};
         },
         false},
    };
    for (const Case& c : cases) {
        BuilderWindow w;
        const Bytes tmpl = standardTemplate();
        standardFiles(w, tmpl);
        c.arrange(w);
        w.choose("KV81.BIN", "KV05.BIN");
        auto expected = w.contents();
        if (c.built) {
            expected[Output] = withImages(tmpl, 3015, image(81), image(5));
        }

        EXPECT_EQ(c.built, w.builder.NewBuildFlashProgram()) << c.what;

        EXPECT_EQ(c.built ? std::vector<std::string>{} : std::vector<std::string>{cannotCreate},
                  w.notices())
            << c.what;
        EXPECT_TRUE(expected == w.contents()) << c.what; // no temporary file either
        EXPECT_EQ(0, w.files.openFiles()) << c.what;
    }
}

// The machine stops before each file-system step of a build in turn (and once after the last),
// losing what was not on the disk: the flasher's name then holds the earlier flasher whole, the
// new one whole, or nothing when there was none. Windows 9x cannot replace a name in one step,
// so for one step the name is free while both flashers are whole under temporary names.
TEST(BuilderBuild, AStopAtAnyStepLeavesAWholeFlasherUnderItsName) {
    const Bytes tmpl = templateFile(pattern(3000, 1), pattern(200000, 2)); // writes in 12 blocks
    const Bytes built = withImages(tmpl, 3015, image(81), image(5));
    const Bytes old = bytesOf("an earlier flasher");
    for (const bool earlier : {false, true}) {
        const auto build = [&](BuilderWindow& w, int stop) {
            standardFiles(w, tmpl);
            if (earlier) {
                w.put(Output, old);
            }
            w.choose("KV81.BIN", "KV05.BIN");
            w.files.faults.stopAt = stop;
            const bool done = w.builder.NewBuildFlashProgram();
            w.files.powerLoss();
            return done;
        };
        int steps = 0; // of a build that stops at none
        {
            BuilderWindow w;
            EXPECT_TRUE(build(w, 0));
            steps = w.files.steps();
            // A temporary file, its create, 7 writes (the head, each image, the tail in four),
            // the flush, 4 closes, the rename; with an earlier flasher also a second temporary
            // file, freed, the earlier one moved there and removed.
            EXPECT_EQ(earlier ? 19 : 15, steps);
        }
        for (int stop = 1; stop <= steps + 1; ++stop) {
            const std::string what =
                "stop at step " + std::to_string(stop) + (earlier ? ", earlier flasher" : "");
            const bool stopped = stop <= steps;
            BuilderWindow w;
            EXPECT_EQ(!stopped, build(w, stop)) << what;

            const std::vector<std::string> temps = w.temporaries();
            const auto aTemporaryHolds = [&](const Bytes& bytes) {
                return std::any_of(temps.begin(), temps.end(),
                                   [&](const std::string& t) { return w.get(t) == bytes; });
            };
            if (w.has(Output)) {
                const Bytes now = w.get(Output);
                EXPECT_TRUE(now == built || (earlier && now == old)) << what;
            } else if (earlier) {
                // The one step between moving the earlier one aside and renaming the new one.
                EXPECT_TRUE(aTemporaryHolds(old) && aTemporaryHolds(built)) << what;
            }
            if (!stopped) {
                EXPECT_TRUE(w.get(Output) == built) << what;
                EXPECT_TRUE(temps.empty()) << what;
            }
            std::vector<std::string> names = w.listing();
            names.erase(std::remove_if(names.begin(), names.end(),
                                       [](const std::string& name) {
                                           return name == Output || name.rfind("KXD", 0) == 0;
                                       }),
                        names.end());
            EXPECT_EQ(inputsAnd({}), names) << what;
            EXPECT_EQ(0, w.files.openFiles()) << what;
        }
    }
}

TEST(BuilderBuild, ButtonRestoresTheCursorWhateverTheBuildGives) {
    BuilderWindow w;
    standardFiles(w, pattern(5000, 1)); // no keyword
    w.choose("KV81.BIN", "KV05.BIN");
    w.builder.FlashButtonClick();
    EXPECT_EQ(1u, w.dialogs.shown.size());
    EXPECT_EQ((std::vector<platform::CursorShape>{platform::CursorShape::Hourglass,
                                                  platform::CursorShape::Default}),
              w.system.cursorChanges);
    EXPECT_EQ(inputsAnd({}), w.listing());
}

TEST(BuilderBuild, NamesFollowTheChosenFilesAndAreKeptBetweenBuilds) {
    BuilderWindow w;
    w.put("KV9Z.BIN", image(9));
    w.put("KV7A.BIN", image(7));
    w.put("KV81.BIN", image(81));
    w.put(TemplateName, standardTemplate());
    w.choose("KV9Z.BIN", "KV7A.BIN");
    EXPECT_TRUE(w.builder.NewBuildFlashProgram());
    EXPECT_TRUE(w.has("W9XKV9Z7A.EXE"));
    EXPECT_EQ("W9XKV9Z7A.EXE", w.names.OutputFlasherName);

    // A new choice in one list only: the other name stays.
    w.list1.select("KV81.BIN");
    w.builder.FileListBox1Click();
    EXPECT_TRUE(w.builder.NewBuildFlashProgram());
    EXPECT_EQ("KV7A.BIN", w.names.NonZolkFileName);
    EXPECT_EQ("W9XKV817A.EXE", w.names.OutputFlasherName);
    EXPECT_TRUE(w.has("W9XKV817A.EXE"));
    EXPECT_TRUE(w.has("W9XKV9Z7A.EXE"));
}

} // namespace
