#include "platform/win32/win32_files.h"

#include <windows.h>

#include "platform/buffered_files.h"

namespace platform::win32 {
namespace {

// A buffered file over a Win32 file handle, which it closes.
template <typename Buffered> class Win32File : public Buffered {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}
    ~Win32File() override { this->close(); }

protected:
    bool closeRaw() override {
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

    HANDLE handle_;
};

class Win32InputFile : public Win32File<BufferedInputFile> {
public:
    using Win32File::Win32File;

    long long size() override {
        DWORD high = 0;
        const DWORD low = GetFileSize(handle_, &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
            return -1;
        }
        return (static_cast<long long>(high) << 32) | low;
    }

protected:
    long long readRaw(void* data, std::size_t count) override {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return 0;
        }
        DWORD got = 0;
        if (!ReadFile(handle_, data, static_cast<DWORD>(count), &got, nullptr)) {
            return -1;
        }
        return got;
    }
};

class Win32OutputFile : public Win32File<BufferedOutputFile> {
public:
    using Win32File::Win32File;
    // Closed here, where what is still buffered can still be written: by the time the base's
    // destructor runs, this class's writeRaw is gone.
    ~Win32OutputFile() override { close(); }

protected:
    bool writeRaw(const unsigned char* data, std::size_t count) override {
        while (count > 0) {
            const DWORD chunk = count > FileBufferSize ? static_cast<DWORD>(FileBufferSize)
                                                       : static_cast<DWORD>(count);
            DWORD written = 0;
            // A full disk writes fewer bytes without an error.
            if (!WriteFile(handle_, data, chunk, &written, nullptr) || written != chunk) {
                return false;
            }
            data += chunk;
            count -= chunk;
        }
        return true;
    }

    bool writeRawAt(long long offset, const unsigned char* data, std::size_t count) override {
        LONG high = static_cast<LONG>(offset >> 32);
        if (SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) ==
                INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR) {
            return false;
        }
        const bool written = writeRaw(data, count);
        return SetFilePointer(handle_, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER && written;
    }

    bool flushRaw() override { return FlushFileBuffers(handle_) != 0; }
};

} // namespace

std::unique_ptr<InputFile> Win32FileSystem::openRead(const std::string& path) {
    // The sharing the C runtime's fopen asks for: the template may be the running program
    // itself, and Windows 9x rejects FILE_SHARE_DELETE.
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<Win32InputFile>(handle);
}

std::unique_ptr<OutputFile> Win32FileSystem::create(const std::string& path) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<Win32OutputFile>(handle);
}

Entry Win32FileSystem::entry(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Entry::None
                                                                              : Entry::Unknown;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Entry::Directory;
    }
    // Creating with ordinary attributes over any of these fails on every Windows.
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & kept) != 0 ? Entry::KeptFile : Entry::File;
}

bool Win32FileSystem::canTake(const std::string& path) {
    // No sharing at all: fails while any other program has the file open, whatever it shares,
    // and for a file that may not be written. Opening an existing file changes nothing in it.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

namespace {
std::string currentDirectoryPath() {
    char path[MAX_PATH + 1];
    const DWORD length = GetCurrentDirectoryA(sizeof path, path);
    if (length == 0 || length >= sizeof path) {
        return std::string();
    }
    return std::string(path, length);
}

bool hasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}
} // namespace

char Win32FileSystem::currentDrive() {
    const std::string path = currentDirectoryPath();
    if (!hasDriveLetter(path)) {
        return '\0';
    }
    return path[0] >= 'a' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
}

std::string Win32FileSystem::currentDirectory() {
    const std::string path = currentDirectoryPath();
    if (!hasDriveLetter(path)) {
        return path;
    }
    const std::string directory = path.substr(2);
    return directory.empty() ? std::string("\\") : directory;
}

std::string Win32FileSystem::makeTempFile() {
    const std::string directory = currentDirectoryPath();
    char name[MAX_PATH + 1];
    // With 0 as the unique number the call picks a free name and creates the file, so that no
    // other program can take the name before it is used.
    if (directory.empty() || GetTempFileNameA(directory.c_str(), "KXD", 0, name) == 0) {
        return std::string();
    }
    return name;
}

bool Win32FileSystem::rename(const std::string& from, const std::string& to) {
    return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool Win32FileSystem::remove(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

} // namespace platform::win32
