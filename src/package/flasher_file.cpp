#include "package/flasher_file.h"

#include "package/firmware_area.h"

namespace package {

bool readFlasherFile(platform::FileSystem& files, const std::string& path, FlasherFile& out) {
    out = FlasherFile();
    std::unique_ptr<platform::InputFile> file = files.openRead(path);
    if (!file) {
        return false;
    }
    const long long size = file->size();
    std::vector<unsigned char> data(size > 0 ? static_cast<std::size_t>(size) : 0);
    const bool read = size >= 0 && file->read(data.data(), data.size()) == data.size();
    if (!file->close() || !read) {
        return false;
    }
    const long long slot = findFirstSlot(data.data(), data.size());
    if (slot < 0 || static_cast<std::size_t>(slot) + 2 * ImageSize > data.size()) {
        return true;
    }
    const auto first = data.begin() + slot;
    out.zolk.assign(first, first + ImageSize);
    out.nonZolk.assign(first + ImageSize, first + 2 * ImageSize);
    out.kind = isTemplateSlot(out.zolk.data()) ? FileKind::Template : FileKind::Flasher;
    return true;
}

} // namespace package
