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

bool FakeFileList::select(const std::string& name) {
    index = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == name) {
            index = static_cast<int>(i);
        }
    }
    return index >= 0;
}

void FakeFileList::refill() {
    if (source) {
        items = source(dir, maskText);
        index = -1;
    }
}

} // namespace platform::fake
