// Making a flasher from the real template against a plain copy of the same file, in one run:
// the builder's own cost is what it takes beyond reading the template and the two images and
// writing the result once. KXD_BENCH_TEMPLATE names the template (scripts/bench.sh gives the
// i686 release); without it a template of the release's size is made up.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/firmware_area.h"
#include "package/flasher_writer.h"
#include "package/self_check.h"
#include "platform/fake/host_files.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> templateBytes() {
    if (const char* path = std::getenv("KXD_BENCH_TEMPLATE")) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>());
    }
    std::vector<char> bytes(812032, '\x5A');
    const unsigned char* keyword = package::startKeyword();
    std::copy(keyword, keyword + package::KeywordSize, bytes.begin() + 202272);
    return bytes;
}

// A folder with the template and two images, made once for the whole run.
struct Folder {
    fs::path root = fs::temp_directory_path() / "kxd-bench-builder";
    fs::path work = root / "WORK";
    Folder() {
        fs::remove_all(root);
        fs::create_directories(work);
        const std::vector<char> bytes = templateBytes();
        std::ofstream(work / "W9XKVXXXX.EXE", std::ios::binary).write(bytes.data(), bytes.size());
        for (const char* name : {"KV81.BIN", "KV05.BIN"}) {
            const std::vector<char> image(package::ImageSize, name[2]);
            std::ofstream(work / name, std::ios::binary).write(image.data(), image.size());
        }
    }
    ~Folder() { fs::remove_all(root); }
};

Folder& folder() {
    static Folder f;
    return f;
}

struct QuietReport : package::WriterReport {
    void copyStarted(long long) override {}
    void copyStepped() override {}
    void failed(const std::string& text) override { failure = text; }
    std::string failure;
};

void BM_BuildFlasher(benchmark::State& state) {
    platform::fake::HostFileSystem files(folder().root.string());
    files.setCurrentDirectory("\\WORK");
    package::FlasherWriter writer(files);
    const package::FlasherJob job{"C:\\WORK\\KV81.BIN", "C:\\WORK\\KV05.BIN", "KV81.BIN",
                                  "KV05.BIN",           "W9XKV8105.EXE",      "W9XKVXXXX.EXE"};
    QuietReport report;
    for (auto _ : state) {
        if (!writer.write(job, report)) {
            state.SkipWithError(report.failure.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(fs::file_size(folder().work / "W9XKVXXXX.EXE")));
}
BENCHMARK(BM_BuildFlasher)->Unit(benchmark::kMillisecond);

void BM_CopyTemplate(benchmark::State& state) {
    const fs::path from = folder().work / "W9XKVXXXX.EXE";
    const fs::path to = folder().work / "COPY.EXE";
    for (auto _ : state) {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(from)));
}
BENCHMARK(BM_CopyTemplate)->Unit(benchmark::kMillisecond);

// A flasher's check of its own file at start-up: the flasher built from the template read from
// the disk (its cache, here) and held to its checksum.
void BM_SelfCheck(benchmark::State& state) {
    platform::fake::HostFileSystem files(folder().root.string());
    files.setCurrentDirectory("\\WORK");
    package::FlasherWriter writer(files);
    QuietReport report;
    if (!writer.write({"C:\\WORK\\KV81.BIN", "C:\\WORK\\KV05.BIN", "KV81.BIN", "KV05.BIN",
                       "W9XKV8105.EXE", "W9XKVXXXX.EXE"},
                      report)) {
        state.SkipWithError(report.failure.c_str());
        return;
    }
    for (auto _ : state) {
        std::unique_ptr<platform::InputFile> file = files.openRead("C:\\WORK\\W9XKV8105.EXE");
        benchmark::DoNotOptimize(package::checkExecutable(*file));
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(fs::file_size(folder().work / "W9XKV8105.EXE")));
}
BENCHMARK(BM_SelfCheck)->Unit(benchmark::kMillisecond);

} // namespace
