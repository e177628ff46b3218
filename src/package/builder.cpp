#include "package/builder.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "package/firmware_area.h"
#include "package/naming.h"
#include "package/unit_texts.h"

namespace package {

namespace {

constexpr long long ProgressStep = 1024;
constexpr int StepsPerImage = static_cast<int>(ImageSize / ProgressStep);

std::string afterLastSeparator(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

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

std::string currentDirectoryText(platform::FileSystem& files) {
    const char drive = files.currentDrive();
    const std::string directory = files.currentDirectory();
    if (drive == '\0') {
        return directory;
    }
    const std::string rest =
        !directory.empty() && directory[0] == '\\' ? directory.substr(1) : directory;
    return std::string(1, drive) + ":\\" + rest;
}

Builder::Builder(const platform::FormControls& controls, const platform::Services& services,
                 BuilderNames& names)
    : window_(controls.Window), selectLabel_(controls.SelectLabel),
      selectLabel2_(controls.SelectLabel2), comboBox1_(controls.ComboBox1),
      fileListBox1_(controls.FileListBox1), fileListBox2_(controls.FileListBox2),
      groupBox2_(controls.GroupBox2), progressBar_(controls.ProgressBar),
      flashButton_(controls.FlashButton), system_(services.system), dialogs_(services.dialogs),
      files_(services.files), names_(names) {}

void Builder::SetUpWindow() {
    comboBox1_.setVisible(false);
    selectLabel2_.setVisible(true);
    fileListBox1_.setVisible(true);
    fileListBox2_.setVisible(true);

    fileListBox1_.setMask(texts::ZolkMask);
    fileListBox2_.setMask(texts::NonZolkMask);

    window_.setTitle(texts::VersionBanner + texts::ModelName + " [Buiding]");

    selectLabel_.setCaption("Select ZOL-K BIN file.");
    selectLabel2_.setCaption("Select NonZOL-K BIN file.");

    flashButton_.setCaption("Build");
    flashButton_.setEnabled(false);

    // The second list starts in the current directory and stays there.
    fileListBox1_.setDirectory(currentDirectoryText(files_));
}

void Builder::FileListBox1Click() {
    names_.ZolkFileName = afterLastSeparator(fileListBox1_.fileName());
    selectLabel_.setCaption("Select BIN file: " + names_.ZolkFileName);
    if (fileListBox2_.itemIndex() != -1) {
        flashButton_.setEnabled(true);
    }
}

void Builder::FileListBox2Click() {
    names_.NonZolkFileName = afterLastSeparator(fileListBox2_.fileName());
    selectLabel2_.setCaption("NonZOL-K BIN file: " + names_.NonZolkFileName);
    if (fileListBox1_.itemIndex() != -1) {
        flashButton_.setEnabled(true);
    }
}

void Builder::FlashButtonClick() {
    const platform::HourglassCursor hourglass(system_);
    NewBuildFlashProgram(); // every failure has been told; nothing more to do with it
}

std::string Builder::ownFileName() {
    return afterLastSeparator(system_.modulePath());
}

bool Builder::fail(const std::string& text) {
    dialogs_.notice(text);
    return false;
}

bool Builder::NewBuildFlashProgram() {
    using platform::InputFile;
    using platform::OutputFile;

    names_.OutputFlasherName = flasherName(names_.ZolkFileName, names_.NonZolkFileName);
    const std::string name = names_.OutputFlasherName;
    groupBox2_.setCaption("Building " + name + "...");
    groupBox2_.repaint();

    std::unique_ptr<InputFile> zolk = files_.openRead(fileListBox1_.fileName());
    if (!zolk) {
        return fail("Open " + names_.ZolkFileName + " fail!");
    }
    std::unique_ptr<InputFile> nonZolk = files_.openRead(fileListBox2_.fileName());
    if (!nonZolk) {
        fail("Open " + names_.NonZolkFileName + " fail!");
        zolk->close();
        return false;
    }
    if (zolk->size() != static_cast<long long>(ImageSize)) {
        zolk->close();
        nonZolk->close();
        return fail(names_.ZolkFileName + "file size != 256K");
    }
    if (nonZolk->size() != static_cast<long long>(ImageSize)) {
        zolk->close();
        nonZolk->close();
        return fail(names_.NonZolkFileName + "file size != 256K");
    }
    std::unique_ptr<InputFile> templateFile = files_.openRead(texts::TemplateName);
    if (!templateFile) {
        zolk->close();
        nonZolk->close();
        return fail("Open " + texts::TemplateName + " fail!");
    }

    const std::string someProblem = "Building fail: some problem in " + ownFileName();
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

    progressBar_.setMin(0);
    progressBar_.setMax(templateSize > INT32_MAX ? INT32_MAX : static_cast<int32_t>(templateSize));
    progressBar_.setPosition(0);
    progressBar_.setStep(static_cast<int32_t>(ProgressStep));

    // The flasher is written under a temporary name and renamed only once it is complete, so
    // that no half-written file ever carries a flasher's name and an earlier flasher of that
    // name survives a failed build.
    TempFile temp(files_, files_.makeTempFile());
    std::unique_ptr<OutputFile> output;
    if (!temp.path().empty()) {
        output = files_.create(temp.path());
    }
    if (!output) {
        closeInputs();
        temp.discard();
        return fail("Create " + name + " Fail");
    }
    auto failBuild = [&](const std::string& text) {
        closeInputs();
        output->close();
        temp.discard();
        return fail(text);
    };

    // Copy up to and including the keyword's final 00h byte.
    KeywordScan scan;
    long long offset = 0;
    bool found = false;
    while (offset < templateSize) {
        unsigned char byte = 0;
        if (templateFile->read(&byte, 1) != 1 || !output->write(&byte, 1)) {
            return failBuild(someProblem);
        }
        if (offset % ProgressStep == 0) {
            progressBar_.stepIt();
        }
        if (scan.feed(byte)) {
            found = true;
            break;
        }
        ++offset;
    }
    if (!found) {
        return failBuild("Building fail: not found key-word in " + ownFileName());
    }

    // The two image slots: the template's bytes there are passed over and replaced whole.
    {
        std::vector<unsigned char> buffer(ImageSize);
        InputFile* images[] = {zolk.get(), nonZolk.get()};
        for (InputFile* image : images) {
            if (templateFile->read(buffer.data(), ImageSize) != ImageSize ||
                image->read(buffer.data(), ImageSize) != ImageSize ||
                !output->write(buffer.data(), ImageSize)) {
                return failBuild(someProblem);
            }
            for (int step = 0; step < StepsPerImage; ++step) {
                progressBar_.stepIt();
            }
        }
    }

    // The rest of the template.
    for (long long at = offset + 1 + 2 * static_cast<long long>(ImageSize); at < templateSize;
         ++at) {
        unsigned char byte = 0;
        if (templateFile->read(&byte, 1) != 1 || !output->write(&byte, 1)) {
            return failBuild(someProblem);
        }
        if (at % ProgressStep == 1) {
            progressBar_.stepIt();
        }
    }

    bool closed = zolk->close();
    closed = nonZolk->close() && closed;
    closed = templateFile->close() && closed;
    closed = output->close() && closed;
    if (!closed || !putInPlace(temp.path(), name)) {
        return failBuild(someProblem);
    }
    temp.keep();

    groupBox2_.setCaption("Build " + name + " ok!");
    groupBox2_.repaint();
    progressBar_.setPosition(0);
    return true;
}

// MoveFile does not replace an existing file, and Windows 9x has no MoveFileEx: an earlier
// file of the name is first moved aside under a temporary name, the new file is renamed into
// place, and only then the earlier one is removed. If the new one cannot take the name, the
// earlier one is moved back. All three names are in the current directory, so each step is
// a rename of a directory entry that leaves both files whole.
//
// What a stop at any moment leaves: while the flasher is written, a partial KXDxxxx.TMP and the
// earlier flasher untouched; between moving the earlier one aside and renaming the new one,
// no file under the flasher's name but both whole, the earlier one and the new one, each in a
// KXDxxxx.TMP of its own; after that, the new flasher in place and at most the earlier one
// left as a KXDxxxx.TMP. Never a part-written file under a flasher's name.
bool Builder::putInPlace(const std::string& temp, const std::string& name) {
    if (files_.rename(temp, name)) {
        return true; // no earlier file of that name
    }
    const std::string backup = files_.makeTempFile();
    if (backup.empty()) {
        return false;
    }
    if (!files_.remove(backup) || !files_.rename(name, backup)) {
        files_.remove(backup);
        return false;
    }
    if (!files_.rename(temp, name)) {
        files_.rename(backup, name);
        return false;
    }
    // Should this fail (a read-only earlier file, say), the new flasher is in place all the
    // same and the earlier one stays under the temporary name.
    files_.remove(backup);
    return true;
}

} // namespace package
