// File access over the Win32 API.
#pragma once

#include "platform/files.h"

namespace platform::win32 {

class Win32FileSystem : public FileSystem {};

} // namespace platform::win32
