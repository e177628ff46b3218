// A recording's file over a Win32 file handle, written at offsets (up to 2 GiB) and cut short,
// for the recording layer and the command-line flasher on Windows.
#pragma once

#include <windows.h>

#include <cstdint>

#include "recording.h"

namespace recorder {

class Win32File : public File {
public:
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool writeAt(uint64_t offset, const void* data, std::size_t length) override {
        if (handle == INVALID_HANDLE_VALUE || offset > 0x7FFFFFFF ||
            SetFilePointer(handle, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == 0xFFFFFFFF) {
            return false;
        }
        const auto* bytes = static_cast<const uint8_t*>(data);
        while (length > 0) {
            DWORD written = 0;
            if (!WriteFile(handle, bytes, static_cast<DWORD>(length), &written, nullptr) ||
                written == 0) {
                return false;
            }
            bytes += written;
            length -= written;
        }
        return true;
    }
    bool truncate(uint64_t length) override {
        return handle != INVALID_HANDLE_VALUE && length <= 0x7FFFFFFF &&
               SetFilePointer(handle, static_cast<LONG>(length), nullptr, FILE_BEGIN) !=
                   0xFFFFFFFF &&
               SetEndOfFile(handle) != FALSE;
    }
};

} // namespace recorder
