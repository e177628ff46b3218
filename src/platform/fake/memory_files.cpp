#include "platform/fake/memory_files.h"

#include <cstring>

namespace platform::fake {
namespace {

class MemoryInputFile : public InputFile {
public:
    MemoryInputFile(const std::vector<unsigned char>& data, int& openFiles)
        : data_(data), openFiles_(openFiles) {
        ++openFiles_;
    }
    ~MemoryInputFile() override { close(); }

    long long size() override { return static_cast<long long>(data_.size()); }
    std::size_t read(void* data, std::size_t count) override {
        const std::size_t left = closed_ ? 0 : data_.size() - next_;
        const std::size_t take = count < left ? count : left;
        if (take > 0) {
            std::memcpy(data, data_.data() + next_, take);
        }
        next_ += take;
        return take;
    }
    bool close() override {
        if (!closed_) {
            closed_ = true;
            --openFiles_;
        }
        return true;
    }

private:
    const std::vector<unsigned char> data_;
    int& openFiles_;
    std::size_t next_ = 0;
    bool closed_ = false;
};

} // namespace

std::unique_ptr<InputFile> MemoryFiles::openRead(const std::string& path) {
    const auto found = files.find(path);
    if (found == files.end()) {
        return nullptr;
    }
    return std::make_unique<MemoryInputFile>(found->second, openFiles_);
}

} // namespace platform::fake
