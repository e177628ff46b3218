#include "package/flasher_writer.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "package/firmware_area.h"
#include "package/self_check.h"
#include "package/unit_texts.h"

namespace package {

namespace {

constexpr int StepsPerImage = static_cast<int>(ImageSize / FlasherWriter::ProgressStep);
// How much of the template goes through at a time.
constexpr std::size_t CopyBlock = 65536;

// Removes the build's temporary file on every way out, the thrown ones included, unless the
// file went into place. Declared before the output file, so that the file is closed first.
class TempFile {
public:
    TempFile(platform::FileSystem& files, std::string path)
        : files_(files), path_(std::move(path)) {}
    ~TempFile() { discard(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    void discard() {
        if (!path_.empty()) {
            files_.remove(path_);
            path_.clear();
        }
    }
    void keep() { path_.clear(); }

private:
    platform::FileSystem& files_;
    std::string path_;
};

} // namespace

bool FlasherWriter::write(const FlasherJob& job, WriterReport& report) {
    using platform::InputFile;
    using platform::OutputFile;

    const std::string& name = job.outputName;
    const auto fail = [&report](const std::string& text) {
        report.failed(text);
        return false;
    };

    std::unique_ptr<InputFile> zolk = files_.openRead(job.zolkPath);
    if (!zolk) {
        return fail("Open " + job.zolkName + " fail!");
    }
    std::unique_ptr<InputFile> nonZolk = files_.openRead(job.nonZolkPath);
    if (!nonZolk) {
        fail("Open " + job.nonZolkName + " fail!");
        zolk->close();
        return false;
    }
    if (zolk->size() != static_cast<long long>(ImageSize)) {
        zolk->close();
        nonZolk->close();
        return fail(job.zolkName + "file size != 256K");
    }
    if (nonZolk->size() != static_cast<long long>(ImageSize)) {
        zolk->close();
        nonZolk->close();
        return fail(job.nonZolkName + "file size != 256K");
    }
    std::unique_ptr<InputFile> templateFile = files_.openRead(texts::TemplateName);
    if (!templateFile) {
        zolk->close();
        nonZolk->close();
        return fail("Open " + texts::TemplateName + " fail!");
    }

    const std::string someProblem = "Building fail: some problem in " + job.programName;
    auto closeInputs = [&] {
        zolk->close();
        nonZolk->close();
        templateFile->close();
    };

    const long long templateSize = templateFile->size();
    if (templateSize < 0) {
        closeInputs();
        return fail(someProblem);
    }

    report.copyStarted(templateSize);

    // Only what creating the flasher in place would have emptied is replaced: nothing, or a
    // file of ordinary attributes that no other program holds open. A directory, a read-only
    // (hidden, system) file or a file in use under the flasher's name stays as it is.
    const std::string cannotCreate = "Create " + name + " Fail";
    const platform::Entry earlier = files_.entry(name);
    if (earlier != platform::Entry::None &&
        (earlier != platform::Entry::File || !files_.canTake(name))) {
        closeInputs();
        return fail(cannotCreate);
    }

    // The flasher is written under a temporary name and renamed only once it is complete and
    // on the disk, so that no half-written file ever carries a flasher's name and an earlier
    // flasher of that name survives a failed build.
    TempFile temp(files_, files_.makeTempFile());
    std::unique_ptr<OutputFile> output;
    if (!temp.path().empty()) {
        output = files_.create(temp.path());
    }
    if (!output) {
        closeInputs();
        temp.discard();
        return fail(cannotCreate);
    }
    auto failBuild = [&](const std::string& text) {
        closeInputs();
        output->close();
        temp.discard();
        return fail(text);
    };

    // The template goes through in blocks; the progress steps at the offsets each block
    // covers, as it would byte by byte.
    std::vector<unsigned char> block(CopyBlock);
    const auto stepsFor = [&report](long long first, long long last, long long phase) {
        // One step for every offset in [first, last] that is `phase` past a multiple of
        // ProgressStep.
        const auto upTo = [phase](long long end) {
            return end < phase ? 0 : (end - phase) / ProgressStep + 1;
        };
        for (long long n = upTo(last) - upTo(first - 1); n > 0; --n) {
            report.copyStepped();
        }
    };

    // Every byte goes into the flasher's checksum on its way out; the template's headers, in its
    // first block, tell where the checksum is kept.
    ImageChecksum checksum;
    long long checksumField = -1;
    const auto put = [&](const unsigned char* data, std::size_t count) {
        checksum.add(data, count);
        return output->write(data, count);
    };

    // Copy up to and including the keyword's final 00h byte; what the block holds beyond it is
    // the first image slot's start, passed over.
    KeywordScan scan;
    long long offset = 0;
    long long passed = 0;
    bool found = false;
    while (offset < templateSize && !found) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<long long>(CopyBlock, templateSize - offset));
        const std::size_t got = templateFile->read(block.data(), want);
        if (offset == 0) {
            checksumField = checksumFieldOffset(block.data(), got);
            checksum = ImageChecksum(checksumField);
        }
        const std::size_t at = scan.find(block.data(), got);
        found = at < got;
        const std::size_t take = found ? at + 1 : got;
        if (!put(block.data(), take)) {
            return failBuild(someProblem);
        }
        stepsFor(offset, offset + static_cast<long long>(take) - 1, 0);
        offset += static_cast<long long>(take);
        passed = static_cast<long long>(got - take);
        if (got < want && !found) {
            return failBuild(someProblem);
        }
    }
    if (!found) {
        return failBuild("Building fail: not found key-word in " + job.programName);
    }

    // The two image slots: the template's bytes there are passed over and replaced whole.
    {
        std::vector<unsigned char> buffer(ImageSize);
        InputFile* images[] = {zolk.get(), nonZolk.get()};
        for (InputFile* image : images) {
            const std::size_t rest = ImageSize - static_cast<std::size_t>(passed);
            if (templateFile->read(buffer.data(), rest) != rest ||
                image->read(buffer.data(), ImageSize) != ImageSize ||
                !put(buffer.data(), ImageSize)) {
                return failBuild(someProblem);
            }
            passed = 0;
            for (int step = 0; step < StepsPerImage; ++step) {
                report.copyStepped();
            }
        }
    }

    // The rest of the template.
    for (long long at = offset + 2 * static_cast<long long>(ImageSize); at < templateSize;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<long long>(CopyBlock, templateSize - at));
        const std::size_t got = templateFile->read(block.data(), want);
        if (!put(block.data(), got)) {
            return failBuild(someProblem);
        }
        stepsFor(at, at + static_cast<long long>(got) - 1, 1);
        at += static_cast<long long>(got);
        if (got < want) {
            return failBuild(someProblem);
        }
    }

    // The flasher carries the checksum of its own bytes, which it holds itself to before it
    // flashes (a template that is no PE executable gives a flasher without one).
    if (checksumField >= 0 && checksumField + static_cast<long long>(ChecksumFieldSize) <= offset) {
        unsigned char field[ChecksumFieldSize];
        for (std::size_t i = 0; i < ChecksumFieldSize; ++i) {
            field[i] = static_cast<unsigned char>(checksum.value() >> (8 * i));
        }
        if (!output->writeAt(checksumField, field, sizeof field)) {
            return failBuild(someProblem);
        }
    }

    bool closed = output->flushToDisk();
    closed = output->close() && closed;
    closed = zolk->close() && closed;
    closed = nonZolk->close() && closed;
    closed = templateFile->close() && closed;
    if (!closed) {
        return failBuild(someProblem);
    }
    if (!putInPlace(temp.path(), name, earlier == platform::Entry::File)) {
        return failBuild(cannotCreate);
    }
    temp.keep();
    return true;
}

// MoveFile does not replace an existing file, and Windows 9x has no call that does (MoveFileEx
// and ReplaceFile came with NT): an earlier flasher is first moved aside under a temporary name,
// the new file is renamed into place, and only then the earlier one is removed. A step that
// fails undoes the ones before it, so that a failed build leaves the directory as it was. All
// names are in the current directory: each step renames or removes a directory entry and leaves
// every file whole.
//
// What a stop of the machine at any moment leaves: while the flasher is written, a partial
// KXDxxxx.TMP and the earlier flasher untouched; between moving the earlier one aside and
// renaming the new one, no file under the flasher's name but both whole, each in a KXDxxxx.TMP
// of its own; after that, the new flasher in place and at most the earlier one left as a
// KXDxxxx.TMP. Never a part-written file under a flasher's name.
bool FlasherWriter::putInPlace(const std::string& temp, const std::string& name, bool replacing) {
    if (!replacing) {
        return files_.rename(temp, name);
    }
    // A name of our own that nothing else takes meanwhile, freed for the rename.
    const std::string aside = files_.makeTempFile();
    if (aside.empty() || !files_.remove(aside) || !files_.rename(name, aside)) {
        return false;
    }
    if (!files_.rename(temp, name)) {
        files_.rename(aside, name);
        return false;
    }
    if (!files_.remove(aside)) {
        // The earlier one will not go: it takes its name back and the new one leaves.
        if (files_.rename(name, temp)) {
            files_.rename(aside, name);
        }
        return false;
    }
    return true;
}

} // namespace package
