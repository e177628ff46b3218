#include "app/builder_window.h"

#include <cstdint>

#include "package/naming.h"
#include "package/unit_texts.h"

namespace app {

namespace {

std::string fileNameOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

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

BuilderWindow::BuilderWindow(const FormControls& controls, const platform::Services& services,
                             BuilderNames& names)
    : window_(controls.Window), selectLabel_(controls.SelectLabel),
      selectLabel2_(controls.SelectLabel2), comboBox1_(controls.ComboBox1),
      fileListBox1_(controls.FileListBox1), fileListBox2_(controls.FileListBox2),
      groupBox2_(controls.GroupBox2), progressBar_(controls.ProgressBar),
      flashButton_(controls.FlashButton), system_(services.system), dialogs_(services.dialogs),
      files_(services.files), names_(names), writer_(services.files) {}

void BuilderWindow::SetUpWindow() {
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

void BuilderWindow::FileListBox1Click() {
    names_.ZolkFileName = fileNameOf(fileListBox1_.fileName());
    selectLabel_.setCaption("Select BIN file: " + names_.ZolkFileName);
    if (fileListBox2_.itemIndex() != -1) {
        flashButton_.setEnabled(true);
    }
}

void BuilderWindow::FileListBox2Click() {
    names_.NonZolkFileName = fileNameOf(fileListBox2_.fileName());
    selectLabel2_.setCaption("NonZOL-K BIN file: " + names_.NonZolkFileName);
    if (fileListBox1_.itemIndex() != -1) {
        flashButton_.setEnabled(true);
    }
}

void BuilderWindow::FlashButtonClick() {
    const platform::HourglassCursor hourglass(system_);
    NewBuildFlashProgram(); // every failure has been told; nothing more to do with it
}

bool BuilderWindow::NewBuildFlashProgram() {
    names_.OutputFlasherName = package::flasherName(names_.ZolkFileName, names_.NonZolkFileName);
    const std::string name = names_.OutputFlasherName;
    groupBox2_.setCaption("Building " + name + "...");
    groupBox2_.repaint();

    const package::FlasherJob job{fileListBox1_.fileName(),
                                  fileListBox2_.fileName(),
                                  names_.ZolkFileName,
                                  names_.NonZolkFileName,
                                  name,
                                  fileNameOf(system_.modulePath())};
    if (!writer_.write(job, *this)) {
        return false;
    }
    groupBox2_.setCaption("Build " + name + " ok!");
    groupBox2_.repaint();
    progressBar_.setPosition(0);
    return true;
}

void BuilderWindow::copyStarted(long long templateSize) {
    progressBar_.setMin(0);
    progressBar_.setMax(templateSize > INT32_MAX ? INT32_MAX : static_cast<int32_t>(templateSize));
    progressBar_.setPosition(0);
    progressBar_.setStep(static_cast<int32_t>(package::FlasherWriter::ProgressStep));
}

void BuilderWindow::copyStepped() {
    progressBar_.stepIt();
}

void BuilderWindow::failed(const std::string& text) {
    dialogs_.notice(text);
}

} // namespace app
