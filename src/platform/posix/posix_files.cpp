#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/buffered_files.h"

namespace platform::posix {
namespace {

// A buffered file over a descriptor, which it closes.
template <typename Buffered> class DescriptorFile : public Buffered {
public:
    explicit DescriptorFile(int fd) : fd_(fd) {}

protected:
    bool closeRaw() override {
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

    int fd_;
};

// Each kind closes itself when destroyed: closing writes out what is buffered through the
// kind's own functions, which must still be there.
class PosixInputFile : public DescriptorFile<BufferedInputFile> {
public:
    using DescriptorFile::DescriptorFile;
    ~PosixInputFile() override { close(); }

    long long size() override {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }

protected:
    long long readRaw(void* data, std::size_t count) override {
        if (fd_ < 0) {
            return 0;
        }
        ssize_t got;
        do {
            got = ::read(fd_, data, count);
        } while (got < 0 && errno == EINTR);
        return got;
    }
};

class PosixOutputFile : public DescriptorFile<BufferedOutputFile> {
public:
    using DescriptorFile::DescriptorFile;
    ~PosixOutputFile() override { close(); }

protected:
    bool writeRaw(const unsigned char* data, std::size_t count) override {
        while (count > 0) {
            const ssize_t put = ::write(fd_, data, count);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return false; // a full disk included
            }
            data += put;
            count -= static_cast<std::size_t>(put);
        }
        return true;
    }

    bool writeRawAt(long long offset, const unsigned char* data, std::size_t count) override {
        return ::pwrite(fd_, data, count, static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(count);
    }

    bool flushRaw() override { return ::fsync(fd_) == 0; }
};

bool writable(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

} // namespace

std::unique_ptr<InputFile> PosixFileSystem::openRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixInputFile>(fd);
}

std::unique_ptr<OutputFile> PosixFileSystem::create(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !writable(path)) {
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<PosixOutputFile>(fd);
}

Entry PosixFileSystem::entry(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Entry::None : Entry::Unknown;
    }
    if (S_ISDIR(st.st_mode)) {
        return Entry::Directory;
    }
    if (!S_ISREG(st.st_mode)) {
        return Entry::Unknown;
    }
    return writable(path) ? Entry::File : Entry::KeptFile;
}

bool PosixFileSystem::canTake(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && writable(path);
}

std::string PosixFileSystem::currentDirectory() {
    std::string buffer(256, '\0');
    while (::getcwd(&buffer[0], buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.c_str();
}

std::string PosixFileSystem::makeTempFile() {
    // The names the Windows build makes, so that a build leaves the same kind of trace.
    static unsigned counter = static_cast<unsigned>(::getpid());
    for (int tries = 0; tries < 65536; ++tries) {
        char name[16];
        std::snprintf(name, sizeof name, "KXD%04X.TMP", ++counter & 0xFFFFu);
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return std::string();
}

bool PosixFileSystem::rename(const std::string& from, const std::string& to) {
    // Never over an existing file.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system that cannot rename that way: a link under the new name fails when the name
    // is taken; one without links gets the name only while it is free.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    return errno == EPERM && entry(to) == Entry::None && ::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFileSystem::remove(const std::string& path) {
    return writable(path) && ::unlink(path.c_str()) == 0;
}

} // namespace platform::posix
