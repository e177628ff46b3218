#include "platform/fake/host_files.h"

#include "platform/buffered_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform::fake {
namespace {

// The directory search's own wildcards after it has rewritten the pattern.
constexpr char DosStar = '<'; // '*' before a '.': any run not taking the name's last dot
constexpr char DosQm = '>';   // '?': one character, or none at a '.' or the end
constexpr char DosDot = '"';  // '.' before a wildcard or at the end: a '.' or the name's end

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string upperText(std::string text) {
    for (char& c : text) {
        c = upper(c);
    }
    return text;
}

std::string rewrite(const std::string& pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '?') {
            out += DosQm;
        } else if (c == '*' && next == '.') {
            out += DosStar;
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            out += DosDot;
        } else {
            out += upper(c);
        }
    }
    return out;
}

bool match(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni) {
    while (pi < p.size()) {
        const char c = p[pi];
        if (c == '*') {
            for (std::size_t k = ni; k <= n.size(); ++k) {
                if (match(p, pi + 1, n, k)) {
                    return true;
                }
            }
            return false;
        }
        if (c == DosStar) {
            const std::size_t lastDot = n.rfind('.');
            const std::size_t limit =
                lastDot != std::string::npos && lastDot >= ni ? lastDot : n.size();
            for (std::size_t k = ni; k <= limit; ++k) {
                if (match(p, pi + 1, n, k)) {
                    return true;
                }
            }
            return false;
        }
        if (c == DosQm) {
            if (ni == n.size() || n[ni] == '.') {
                while (pi < p.size() && p[pi] == DosQm) {
                    ++pi;
                }
                continue;
            }
            ++pi;
            ++ni;
            continue;
        }
        if (c == DosDot) {
            if (ni == n.size()) {
                ++pi;
                continue;
            }
            if (n[ni] != '.') {
                return false;
            }
            ++pi;
            ++ni;
            continue;
        }
        if (ni == n.size() || upper(n[ni]) != c) {
            return false;
        }
        ++pi;
        ++ni;
    }
    return ni == n.size();
}

std::string baseName(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool exists(const std::string& hostPath) {
    struct stat st;
    return ::stat(hostPath.c_str(), &st) == 0;
}

// No write permission stands for the read-only attribute, whoever the test runs as.
bool readOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool inSet(const std::set<std::string>& names, const std::string& path) {
    const std::string name = upperText(baseName(path));
    for (const std::string& entry : names) {
        if (upperText(entry) == name) {
            return true;
        }
    }
    return false;
}

// A host file descriptor, open until closed and counted by the file system while it is; a
// close that the faults name reports failure.
template <typename Buffered> class HostFile : public Buffered {
public:
    HostFile(HostFileSystem& files, int fd, bool failClose)
        : files_(files), fd_(fd), failClose_(failClose) {}
    ~HostFile() override { this->close(); }

protected:
    bool closeRaw() override {
        const bool running = files_.step();
        const bool ok = ::close(fd_) == 0 && !failClose_ && running;
        fd_ = -1;
        files_.fileClosed();
        return ok;
    }

    HostFileSystem& files_;
    int fd_;

private:
    bool failClose_;
};

class HostInputFile : public HostFile<BufferedInputFile> {
public:
    HostInputFile(HostFileSystem& files, int fd, long long limit, bool failClose)
        : HostFile(files, fd, failClose), limit_(limit) {}

    long long size() override {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }

protected:
    long long readRaw(void* data, std::size_t count) override {
        if (fd_ < 0) {
            return 0;
        }
        if (!files_.running()) {
            return -1;
        }
        if (limit_ >= 0) {
            // A short read: the file seems to end after `limit_` bytes.
            const long long left = limit_ - delivered_;
            count = left <= 0 ? 0 : std::min<long long>(left, static_cast<long long>(count));
            if (count == 0) {
                return 0;
            }
        }
        const ssize_t got = ::read(fd_, data, count);
        if (got > 0) {
            delivered_ += got;
        }
        return got;
    }

private:
    long long limit_;
    long long delivered_ = 0;
};

class HostOutputFile : public HostFile<BufferedOutputFile> {
public:
    using HostFile::HostFile;
    // Closed here, where what is still buffered can still be written: by the time the base's
    // destructor runs, this class's writeRaw is gone.
    ~HostOutputFile() override { close(); }

protected:
    // Writes what the simulated disk has room for; a full disk fails after that.
    bool writeRaw(const unsigned char* data, std::size_t count) override {
        if (!files_.step()) {
            return false;
        }
        files_.writing(fd_);
        std::size_t granted = 0;
        const bool room = files_.takeDiskSpace(count, granted);
        while (granted > 0) {
            const ssize_t put = ::write(fd_, data, granted);
            if (put <= 0) {
                return false;
            }
            data += put;
            granted -= static_cast<std::size_t>(put);
        }
        return room;
    }

    // In place, over bytes the disk already holds: no new room is taken.
    bool writeRawAt(long long offset, const unsigned char* data, std::size_t count) override {
        if (!files_.step()) {
            return false;
        }
        files_.writing(fd_);
        return ::pwrite(fd_, data, count, static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(count);
    }

    bool flushRaw() override {
        if (!files_.step() || files_.faults.failFlush) {
            return false;
        }
        files_.flushed(fd_);
        return true;
    }
};

std::pair<unsigned long long, unsigned long long> fileKey(const struct stat& st) {
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

} // namespace

bool matchesPattern(const std::string& name, const std::string& pattern) {
    if (pattern.empty() || name.empty()) {
        return false;
    }
    return match(rewrite(pattern), 0, upperText(name), 0);
}

bool matchesMask(const std::string& name, const std::string& mask) {
    std::size_t start = 0;
    while (start <= mask.size()) {
        const std::size_t end = std::min(mask.find(';', start), mask.size());
        if (matchesPattern(name, mask.substr(start, end - start))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

HostFileSystem::HostFileSystem(std::string root, char drive)
    : root_(std::move(root)), drive_(upper(drive)) {}

void HostFileSystem::setCurrentDirectory(const std::string& directory) {
    directory_ = directory.empty() || directory[0] != '\\' ? "\\" + directory : directory;
}

std::string HostFileSystem::hostPath(const std::string& path) const {
    std::string rest = path;
    if (rest.size() >= 2 && rest[1] == ':' && upper(rest[0]) == drive_) {
        rest = rest.substr(2);
    }
    std::replace(rest.begin(), rest.end(), '\\', '/');
    if (rest.empty() || rest[0] != '/') {
        std::string here = directory_;
        std::replace(here.begin(), here.end(), '\\', '/');
        if (here.back() != '/') {
            here += '/';
        }
        rest = here + rest;
    }
    return root_ + rest;
}

std::string HostFileSystem::resolve(const std::string& path) const {
    // Each part of the path is looked up without case, as on the drive the program sees.
    const std::string host = hostPath(path);
    std::string resolved = root_;
    std::size_t start = root_.size();
    while (start < host.size()) {
        std::size_t end = host.find('/', start + 1);
        if (end == std::string::npos) {
            end = host.size();
        }
        const std::string part = host.substr(start + 1, end - start - 1);
        std::string found = part;
        if (!part.empty() && !exists(resolved + "/" + part)) {
            if (DIR* dir = ::opendir(resolved.c_str())) {
                while (const dirent* entry = ::readdir(dir)) {
                    if (upperText(entry->d_name) == upperText(part)) {
                        found = entry->d_name;
                        break;
                    }
                }
                ::closedir(dir);
            }
        }
        resolved += "/" + found;
        start = end;
    }
    return resolved;
}

std::vector<std::string> HostFileSystem::listFiles(const std::string& directory,
                                                   const std::string& mask) const {
    std::vector<std::string> names;
    std::string host = hostPath(directory);
    if (DIR* dir = ::opendir(host.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            struct stat st;
            if (::stat((host + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                matchesMask(name, mask)) {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return upperText(a) < upperText(b);
    });
    return names;
}

std::unique_ptr<InputFile> HostFileSystem::openRead(const std::string& path) {
    if (!running() || inSet(faults.failOpen, path) || inSet(faults.locked, path)) {
        return nullptr;
    }
    const int fd = ::open(resolve(path).c_str(), O_RDONLY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    long long limit = -1;
    const std::string name = upperText(baseName(path));
    for (const auto& entry : faults.readLimit) {
        if (upperText(entry.first) == name) {
            limit = entry.second;
        }
    }
    ++openFiles_;
    ++filesOpened_;
    return std::make_unique<HostInputFile>(*this, fd, limit, inSet(faults.failClose, path));
}

std::unique_ptr<OutputFile> HostFileSystem::create(const std::string& path) {
    operations.push_back("create " + baseName(path));
    if (!step() || faults.failCreate || inSet(faults.locked, path)) {
        return nullptr;
    }
    const std::string host = resolve(path);
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && readOnly(st)) {
        return nullptr;
    }
    const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    if (::fstat(fd, &st) == 0) {
        unflushed_[fileKey(st)] = 0; // emptied, and nothing of it on the disk yet
    }
    ++openFiles_;
    ++filesOpened_;
    return std::make_unique<HostOutputFile>(
        *this, fd, faults.failCloseWritten || inSet(faults.failClose, path));
}

Entry HostFileSystem::entry(const std::string& path) {
    if (!running()) {
        return Entry::Unknown;
    }
    struct stat st;
    if (::stat(resolve(path).c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Entry::None : Entry::Unknown;
    }
    if (S_ISDIR(st.st_mode)) {
        return Entry::Directory;
    }
    if (!S_ISREG(st.st_mode)) {
        return Entry::Unknown;
    }
    return readOnly(st) ? Entry::KeptFile : Entry::File;
}

bool HostFileSystem::canTake(const std::string& path) {
    struct stat st;
    return running() && !inSet(faults.locked, path) && ::stat(resolve(path).c_str(), &st) == 0 &&
           S_ISREG(st.st_mode) && !readOnly(st);
}

std::string HostFileSystem::makeTempFile() {
    if (!step() || faults.failTempFile) {
        return std::string();
    }
    for (int tries = 0; tries < 65535; ++tries) {
        char name[16];
        std::snprintf(name, sizeof name, "KXD%04X.TMP", ++tempCounter_ & 0xFFFFu);
        const int fd = ::open(hostPath(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            ::close(fd);
            operations.push_back(std::string("temp ") + name);
            return std::string(1, drive_) + ":" + (directory_ == "\\" ? "" : directory_) + "\\" +
                   name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return std::string();
}

bool HostFileSystem::rename(const std::string& from, const std::string& to) {
    operations.push_back("rename " + baseName(from) + " " + baseName(to));
    ++renames_;
    if (!step() || inSet(faults.locked, from) || inSet(faults.locked, to)) {
        return false;
    }
    if (faults.failRenameAt != 0 && (renames_ == faults.failRenameAt ||
                                     (faults.failRenamesFrom && renames_ > faults.failRenameAt))) {
        return false;
    }
    const std::string source = resolve(from);
    if (!exists(source) || exists(resolve(to))) {
        return false;
    }
    return ::rename(source.c_str(), hostPath(to).c_str()) == 0;
}

bool HostFileSystem::remove(const std::string& path) {
    operations.push_back("remove " + baseName(path));
    ++removes_;
    if (!step() || removes_ == faults.failRemoveAt || inSet(faults.locked, path)) {
        return false;
    }
    const std::string host = resolve(path);
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && readOnly(st)) {
        return false; // DeleteFile refuses a read-only file
    }
    return ::unlink(host.c_str()) == 0;
}

bool HostFileSystem::step() {
    ++steps_;
    return running();
}

void HostFileSystem::writing(int fd) {
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        unflushed_.emplace(fileKey(st), static_cast<long long>(st.st_size));
    }
}

void HostFileSystem::flushed(int fd) {
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        unflushed_.erase(fileKey(st));
    }
}

void HostFileSystem::powerLoss() {
    const std::string here = hostPath(".");
    if (DIR* dir = ::opendir(here.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string path = here + "/" + entry->d_name;
            struct stat st;
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
                continue;
            }
            const auto found = unflushed_.find(fileKey(st));
            if (found != unflushed_.end() && ::truncate(path.c_str(), found->second) != 0) {
                std::perror(path.c_str());
            }
        }
        ::closedir(dir);
    }
    unflushed_.clear();
}

bool HostFileSystem::takeDiskSpace(std::size_t wanted, std::size_t& granted) {
    if (faults.diskFree < 0) {
        granted = wanted;
        return true;
    }
    granted = static_cast<std::size_t>(std::min<long long>(faults.diskFree, wanted));
    faults.diskFree -= static_cast<long long>(granted);
    return granted == wanted;
}

} // namespace platform::fake
