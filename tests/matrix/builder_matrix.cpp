// The builder's file matrix: the program's flasher writer over the real Win32 file system (under
// Wine, real Linux files below), one case a row, each in a folder of its own with the real
// template, two images and whatever the case puts beside them. Every row checks the notice (or
// a build) and the folder's listing before and after: names, sizes, contents and read-only,
// hidden and system attributes, folders included; a failed build leaves it exactly as it was.
//
//   builder_matrix TEMPLATE IMAGES WORK FULL READONLY
//
// TEMPLATE is the program as built; IMAGES a folder with KV81.BIN and KV05.BIN; WORK an empty
// folder for the cases; FULL an empty folder on a file system with room for the files of a case
// (emptied after each) but not for a flasher; READONLY a read-only folder holding the template,
// both images and an earlier W9XKV8105.EXE. FULL or READONLY given as "-" (no such folder could be
// made here) skips the cases that need it. Prints a table; exit code 0 when no case failed.
//
//   builder_matrix --hold FILE exclusive|shared EVENT
//
// is the other program of the cases whose earlier flasher is in use: it holds FILE open
// (reading and writing with no sharing, or reading and sharing both), sets the named event
// EVENT-ready and waits for EVENT-release.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "package/flasher_writer.h"
#include "package/self_check.h"
#include "platform/win32/win32_files.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::string Output = "W9XKV8105.EXE";
const std::string TemplateName = "W9XKVXXXX.EXE";
const std::string ZolkName = "KV81.BIN";
const std::string NonZolkName = "KV05.BIN";
constexpr std::size_t ImageSize = 262144;
const std::string CannotCreate = "Create " + Output + " Fail";
const std::string SomeProblem = "Building fail: some problem in " + TemplateName;
const std::string NoKeyword = "Building fail: not found key-word in " + TemplateName;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

// Where the first image slot begins: right after the first "BIN-START-ADDR" and its NUL.
long long slotOf(const Bytes& file) {
    static const char keyword[] = "BIN-START-ADDR"; // and the array's own NUL
    const auto found = std::search(file.begin(), file.end(), keyword, keyword + sizeof keyword);
    return found == file.end() ? -1
                               : (found - file.begin()) + static_cast<long long>(sizeof keyword);
}

Bytes cut(const Bytes& file, long long length) {
    return Bytes(file.begin(), file.begin() + length);
}

unsigned long fnv(const Bytes& data) {
    unsigned long hash = 2166136261u;
    for (unsigned char byte : data) {
        hash = ((hash ^ byte) * 16777619u) & 0xFFFFFFFFu;
    }
    return hash;
}

// A file's line of a listing: its path, size, contents' hash and the attributes that count.
std::string fileLine(const std::string& path, const Bytes& data, DWORD attributes) {
    char line[64];
    std::snprintf(line, sizeof line, " %lu %08lx%s%s%s", static_cast<unsigned long>(data.size()),
                  fnv(data), (attributes & FILE_ATTRIBUTE_READONLY) ? " R" : "",
                  (attributes & FILE_ATTRIBUTE_HIDDEN) ? " H" : "",
                  (attributes & FILE_ATTRIBUTE_SYSTEM) ? " S" : "");
    return path + line;
}

// Every entry below `folder`, folders as "NAME\", sorted.
std::vector<std::string> listing(const std::string& folder, const std::string& prefix = "") {
    std::vector<std::string> lines;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return lines;
    }
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines.push_back(prefix + name + "\\");
            const auto inner = listing(folder + "\\" + name, prefix + name + "\\");
            lines.insert(lines.end(), inner.begin(), inner.end());
        } else {
            lines.push_back(
                fileLine(prefix + name, readFile(folder + "\\" + name), found.dwFileAttributes));
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Files and folders below `folder`, then the folder (whatever is inside a folder sorts after
// it, so in reverse order it goes first).
void removeTree(const std::string& folder) {
    const std::vector<std::string> lines = listing(folder);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string path = folder + "\\" + line->substr(0, line->find(' '));
        if (path.back() == '\\') {
            RemoveDirectoryA(path.c_str());
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

// What the builder's window would tell.
struct Report : package::WriterReport {
    std::vector<std::string> notices;
    void copyStarted(long long) override {}
    void copyStepped() override {}
    void failed(const std::string& text) override { notices.push_back(text); }
};

// The other program, holding a file open for the length of one case.
class Holder {
public:
    Holder(const std::string& file, const char* mode) {
        const std::string event = "kxd-matrix-" + std::to_string(GetCurrentProcessId());
        ready_ = CreateEventA(nullptr, TRUE, FALSE, (event + "-ready").c_str());
        release_ = CreateEventA(nullptr, TRUE, FALSE, (event + "-release").c_str());
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        std::string command =
            std::string("\"") + self + "\" --hold \"" + file + "\" " + mode + " " + event;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &started)) {
            process_ = started.hProcess;
            CloseHandle(started.hThread);
            const HANDLE either[] = {ready_, process_};
            holding_ = WaitForMultipleObjects(2, either, FALSE, 20000) == WAIT_OBJECT_0;
        }
    }
    ~Holder() {
        SetEvent(release_);
        if (process_ != nullptr) {
            WaitForSingleObject(process_, 20000);
            CloseHandle(process_);
        }
        CloseHandle(ready_);
        CloseHandle(release_);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool holding() const { return holding_; }

private:
    HANDLE ready_, release_;
    HANDLE process_ = nullptr;
    bool holding_ = false;
};

int hold(const std::string& file, const std::string& mode, const std::string& event) {
    const bool exclusive = mode == "exclusive";
    const HANDLE handle = CreateFileA(
        file.c_str(), exclusive ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
        exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (event + "-ready").c_str());
    const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (event + "-release").c_str());
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(handle);
    CloseHandle(ready);
    CloseHandle(release);
    return 0;
}

// A case's folder, as the case arranges it.
struct Folder {
    std::string path;
    const Bytes& program; // the template as built

    std::string at(const std::string& name) const { return path + "\\" + name; }
    void put(const std::string& name, const Bytes& data) const { writeFile(at(name), data); }
    void folder(const std::string& name) const { CreateDirectoryA(at(name).c_str(), nullptr); }
    void attributes(const std::string& name, DWORD value) const {
        SetFileAttributesA(at(name).c_str(), value);
    }
    void remove(const std::string& name) const { DeleteFileA(at(name).c_str()); }
    // The template with `length` bytes from the start of its first slot (negative: before it).
    void templateCutAt(long long fromSlot) const {
        put(TemplateName, cut(program, slotOf(program) + fromSlot));
    }
    void imageOfSize(const std::string& name, std::size_t size) const {
        Bytes image = readFile(at(name));
        image.resize(size, 0x5A);
        put(name, image);
    }
};

enum class Place { Work, Full, ReadOnly };
enum class Held { No, Exclusive, Shared };

struct Case {
    const char* what;
    std::function<void(const Folder&)> arrange;
    std::string notice; // empty: the flasher is built
    Held held = Held::No;
    Place place = Place::Work;
};

Bytes pattern(std::size_t size, unsigned seed) {
    Bytes out(size);
    for (auto& byte : out) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(seed >> 16);
    }
    return out;
}

const Bytes Earlier = pattern(70000, 7); // an earlier flasher, as far as any check goes

std::vector<Case> cases() {
    const auto earlier = [](const Folder& f) { f.put(Output, Earlier); };
    const auto earlierWith = [](DWORD attributes) {
        return [attributes](const Folder& f) {
            f.put(Output, Earlier);
            f.attributes(Output, attributes);
        };
    };
    const auto folderNamed = [](std::string name) {
        return [name](const Folder& f) {
            f.remove(name);
            f.folder(name);
            f.put(name + "\\KEEP.TXT", Bytes(100, 'k'));
        };
    };
    const auto imageOf = [](std::string name, std::size_t size) {
        return [name, size](const Folder& f) { f.imageOfSize(name, size); };
    };
    const auto templateCut = [](long long fromSlot) {
        return [fromSlot](const Folder& f) { f.templateCutAt(fromSlot); };
    };
    const auto keywordByte = [](long long fromSlot, unsigned char value) {
        return [fromSlot, value](const Folder& f) {
            Bytes file = f.program;
            file[static_cast<std::size_t>(slotOf(file) + fromSlot)] = value;
            f.put(TemplateName, file);
        };
    };
    const auto nothing = [](const Folder&) {};
    return {
        {"a new flasher", nothing, ""},
        {"over a writable earlier flasher", earlier, ""},
        {"over an earlier flasher, read-only inputs",
         [earlier](const Folder& f) {
             earlier(f);
             for (const std::string& name : {TemplateName, ZolkName, NonZolkName}) {
                 f.attributes(name, FILE_ATTRIBUTE_READONLY);
             }
         },
         ""},
        {"beside a temporary file an earlier build left",
         [](const Folder& f) { f.put("KXD1.TMP", Bytes(10, 't')); }, ""},
        {"template ending right after the second slot", templateCut(2 * ImageSize), ""},
        {"earlier flasher read-only", earlierWith(FILE_ATTRIBUTE_READONLY), CannotCreate},
        {"earlier flasher hidden", earlierWith(FILE_ATTRIBUTE_HIDDEN), CannotCreate},
        {"earlier flasher held open, no sharing", earlier, CannotCreate, Held::Exclusive},
        {"earlier flasher held open for reading, sharing all", earlier, CannotCreate, Held::Shared},
        {"folder named like the flasher, holding a file", folderNamed(Output), CannotCreate},
        {"empty folder named like the flasher", [](const Folder& f) { f.folder(Output); },
         CannotCreate},
        {"folder named like the ZOL-K image", folderNamed(ZolkName), "Open KV81.BIN fail!"},
        {"folder named like the NonZOL-K image", folderNamed(NonZolkName), "Open KV05.BIN fail!"},
        {"folder named like the template", folderNamed(TemplateName), "Open W9XKVXXXX.EXE fail!"},
        {"ZOL-K image missing", [](const Folder& f) { f.remove(ZolkName); }, "Open KV81.BIN fail!"},
        {"template missing", [](const Folder& f) { f.remove(TemplateName); },
         "Open W9XKVXXXX.EXE fail!"},
        {"ZOL-K image of 0 bytes", imageOf(ZolkName, 0), "KV81.BINfile size != 256K"},
        {"ZOL-K image of 262143 bytes", imageOf(ZolkName, 262143), "KV81.BINfile size != 256K"},
        {"ZOL-K image of 262145 bytes", imageOf(ZolkName, 262145), "KV81.BINfile size != 256K"},
        {"NonZOL-K image of 0 bytes", imageOf(NonZolkName, 0), "KV05.BINfile size != 256K"},
        {"NonZOL-K image of 262143 bytes", imageOf(NonZolkName, 262143),
         "KV05.BINfile size != 256K"},
        {"NonZOL-K image of 262145 bytes, earlier flasher",
         [earlier, imageOf](const Folder& f) {
             earlier(f);
             imageOf(NonZolkName, 262145)(f);
         },
         "KV05.BINfile size != 256K"},
        {"template without the keyword", keywordByte(-15, 'b'), NoKeyword},
        {"template with the keyword text but no NUL", keywordByte(-1, 'X'), NoKeyword},
        {"template ending inside the first slot", templateCut(1000), SomeProblem},
        {"template ending inside the second slot, earlier flasher",
         [earlier, templateCut](const Folder& f) {
             earlier(f);
             templateCut(ImageSize + 1000)(f);
         },
         SomeProblem},
        {"full disk", nothing, SomeProblem, Held::No, Place::Full},
        {"full disk, earlier flasher", earlier, SomeProblem, Held::No, Place::Full},
        {"read-only folder, earlier flasher", nothing, CannotCreate, Held::No, Place::ReadOnly},
    };
}

std::string fullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

// The flasher a build makes of the folder's files: the template with both images at its slot,
// sealed with the checksum of its own bytes.
Bytes expectedFlasher(const Folder& f) {
    Bytes file = readFile(f.at(TemplateName));
    const Bytes zolk = readFile(f.at(ZolkName)), nonZolk = readFile(f.at(NonZolkName));
    const long long slot = slotOf(file);
    std::copy(zolk.begin(), zolk.end(), file.begin() + slot);
    std::copy(nonZolk.begin(), nonZolk.end(), file.begin() + slot + static_cast<long>(ImageSize));
    package::sealExecutable(file.data(), file.size());
    return file;
}

// How the listing changed: "as it was", or each path new (+), gone (-) or with other contents or
// attributes (~).
std::string change(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    const auto pathOf = [](const std::string& line) { return line.substr(0, line.find(' ')); };
    const auto paths = [&](const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const std::string& line : lines) {
            out.push_back(pathOf(line));
        }
        return out;
    };
    const std::vector<std::string> had = paths(before), has = paths(after);
    std::string text;
    const auto add = [&text](char mark, const std::string& path) {
        text += (text.empty() ? "" : ", ") + (mark + path);
    };
    for (const std::string& line : after) {
        const bool known = std::find(had.begin(), had.end(), pathOf(line)) != had.end();
        if (std::find(before.begin(), before.end(), line) == before.end()) {
            add(known ? '~' : '+', pathOf(line));
        }
    }
    for (const std::string& path : had) {
        if (std::find(has.begin(), has.end(), path) == has.end()) {
            add('-', path);
        }
    }
    return text.empty() ? "as it was" : text;
}

int runMatrix(const std::string& templatePath, const std::string& images, const std::string& work,
              const std::string& full, const std::string& readOnly) {
    const Bytes program = readFile(templatePath);
    const Bytes zolk = readFile(images + "\\" + ZolkName);
    const Bytes nonZolk = readFile(images + "\\" + NonZolkName);
    if (slotOf(program) < 0 || zolk.size() != ImageSize || nonZolk.size() != ImageSize) {
        std::printf("builder_matrix: no template or images to work with\n");
        return 2;
    }
    platform::win32::Win32FileSystem files;
    int failed = 0, skipped = 0, number = 0;
    std::printf("| # | case | notice | folder afterwards | result |\n|---|---|---|---|---|\n");
    for (const Case& c : cases()) {
        ++number;
        const std::string base = c.place == Place::Work   ? work
                                 : c.place == Place::Full ? full
                                                          : readOnly;
        if (base == "-") {
            ++skipped;
            std::printf("| %d | %s | | | SKIPPED: no %s file system could be mounted here |\n",
                        number, c.what, c.place == Place::Full ? "small" : "read-only");
            continue;
        }
        Folder f{c.place == Place::ReadOnly ? fullPath(base)
                                            : fullPath(base + "\\" + std::to_string(number)),
                 program};
        if (c.place != Place::ReadOnly) {
            CreateDirectoryA(f.path.c_str(), nullptr);
            f.put(TemplateName, program);
            f.put(ZolkName, zolk);
            f.put(NonZolkName, nonZolk);
            c.arrange(f);
        }
        const std::vector<std::string> before = listing(f.path);
        std::vector<std::string> expected = before;
        if (c.notice.empty()) {
            expected.erase(std::remove_if(expected.begin(), expected.end(),
                                          [](const std::string& line) {
                                              return line.rfind(Output + " ", 0) == 0;
                                          }),
                           expected.end());
            expected.push_back(fileLine(Output, expectedFlasher(f), 0));
            std::sort(expected.begin(), expected.end());
        }

        SetCurrentDirectoryA(f.path.c_str());
        Report report;
        bool built = false;
        bool holding = true;
        {
            std::unique_ptr<Holder> holder;
            if (c.held != Held::No) {
                holder.reset(
                    new Holder(f.at(Output), c.held == Held::Exclusive ? "exclusive" : "shared"));
                holding = holder->holding();
            }
            package::FlasherWriter writer(files);
            const package::FlasherJob job{f.at(ZolkName), f.at(NonZolkName), ZolkName, NonZolkName,
                                          Output,         TemplateName};
            built = writer.write(job, report);
        }
        SetCurrentDirectoryA(work.c_str());
        const std::vector<std::string> after = listing(f.path);

        if (c.place == Place::Full) {
            removeTree(f.path); // room for the next case on the small file system
        }

        const std::string notice = built                    ? ""
                                   : report.notices.empty() ? "(none)"
                                                            : report.notices.front();
        const bool passed = holding && built == c.notice.empty() && notice == c.notice &&
                            report.notices.size() == (built ? 0u : 1u) && after == expected;
        failed += passed ? 0 : 1;
        std::printf("| %d | %s | %s | %s | %s |\n", number, c.what,
                    built ? "none: built" : notice.c_str(), change(before, after).c_str(),
                    passed     ? "passed"
                    : !holding ? "FAILED: the file could not be held"
                               : "FAILED");
        if (!passed) {
            std::printf("    expected %s, afterwards:\n",
                        c.notice.empty() ? "a build" : ("\"" + c.notice + "\"").c_str());
            for (const std::string& line : after) {
                std::printf("      %s%s\n", line.c_str(),
                            std::find(expected.begin(), expected.end(), line) == expected.end()
                                ? "   <- unexpected"
                                : "");
            }
            for (const std::string& line : expected) {
                if (std::find(after.begin(), after.end(), line) == after.end()) {
                    std::printf("      missing: %s\n", line.c_str());
                }
            }
        }
    }
    std::printf("%d cases: %d passed, %d failed, %d skipped\n", number, number - failed - skipped,
                failed, skipped);
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--hold") == 0) {
        return hold(argv[2], argv[3], argv[4]);
    }
    if (argc != 6) {
        std::printf("usage: builder_matrix TEMPLATE IMAGES WORK FULL|- READONLY|-\n");
        return 2;
    }
    const int status = runMatrix(fullPath(argv[1]), fullPath(argv[2]), fullPath(argv[3]),
                                 std::strcmp(argv[4], "-") == 0 ? "-" : fullPath(argv[4]),
                                 std::strcmp(argv[5], "-") == 0 ? "-" : fullPath(argv[5]));
    std::fflush(stdout);
    return status;
}
