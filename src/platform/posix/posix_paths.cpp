// Paths, the current directory and the run locks on Linux.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/console.h"
#include "platform/posix/posix_files.h"

namespace platform {
namespace {

// A lock file held with flock: the kernel lets it go when the process ends, however it ends.
class FileLock : public RunLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override { ::close(fd_); }

private:
    int fd_;
};

std::string lockFolder() {
    // /run/lock is the system's place for them; where it cannot be written, the temporary one.
    return ::access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp";
}

} // namespace

std::string absolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    return posix::PosixFileSystem().currentDirectory() + "/" + path;
}

bool changeDirectory(const std::string& directory) {
    return ::chdir(directory.c_str()) == 0;
}

std::unique_ptr<RunLock> takeRunLock(const std::string& name, const std::string& self,
                                     std::string& holder) {
    const std::string path = lockFolder() + "/kxdflash-" + name + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        holder = path + " cannot be opened";
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char text[256] = {};
        const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        holder = got > 0 ? std::string(text, static_cast<std::size_t>(got)) : "another process";
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\0')) {
            holder.pop_back();
        }
        return nullptr;
    }
    const std::string note = "process " + std::to_string(::getpid()) + " (" + self + ")\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, note.data(), note.size(), 0) < 0) {
        // The lock holds all the same; only the note of who holds it is missing.
    }
    return std::make_unique<FileLock>(fd);
}

} // namespace platform
