#include "package/flasher_file.h"

#include <algorithm>

namespace package {
namespace {

// The file's bytes as the self-check reads a file.
class BytesInput : public platform::InputFile {
public:
    explicit BytesInput(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    long long size() override { return static_cast<long long>(bytes_.size()); }
    std::size_t read(void* data, std::size_t count) override {
        const std::size_t take = count < bytes_.size() - at_ ? count : bytes_.size() - at_;
        std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + take),
                  static_cast<unsigned char*>(data));
        at_ += take;
        return take;
    }
    bool close() override { return true; }

private:
    const std::vector<unsigned char>& bytes_;
    std::size_t at_ = 0;
};

} // namespace

bool readFlasherFile(platform::FileSystem& files, const std::string& path, FlasherFile& out) {
    out = FlasherFile();
    std::unique_ptr<platform::InputFile> file = files.openRead(path);
    if (!file) {
        return false;
    }
    const long long size = file->size();
    std::vector<unsigned char>& data = out.bytes;
    data.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    const bool read = size >= 0 && file->read(data.data(), data.size()) == data.size();
    if (!file->close() || !read) {
        return false;
    }
    BytesInput bytes(data);
    out.check = checkExecutable(bytes);
    const long long slot = findFirstSlot(data.data(), data.size());
    if (slot < 0 || static_cast<std::size_t>(slot) + 2 * ImageSize > data.size()) {
        return true;
    }
    out.slots = static_cast<std::size_t>(slot);
    out.kind = isTemplateSlot(out.zolk()) ? FileKind::Template : FileKind::Flasher;
    return true;
}

} // namespace package
