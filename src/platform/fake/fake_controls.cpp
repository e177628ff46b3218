#include "platform/fake/fake_controls.h"

namespace platform::fake {

std::string FakeFileList::fileName() const {
    if (index < 0 || index >= itemCount()) {
        return std::string();
    }
    std::string path = dir;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') {
        path += '/';
    }
    return path + items[static_cast<size_t>(index)];
}

} // namespace platform::fake
