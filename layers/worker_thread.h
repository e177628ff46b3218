// The thread on which one of our ASPI layers completes requests.
#pragma once

#include <windows.h>

// Starts `work` on a thread of its own. The thread runs code of the library `self` until the
// process ends: a reference of its own keeps the library loaded after the program's
// FreeLibrary. False when no thread could be made.
inline bool startWorkerThread(HMODULE self, LPTHREAD_START_ROUTINE work) {
    char name[MAX_PATH + 1] = {};
    if (GetModuleFileNameA(self, name, MAX_PATH) != 0) {
        LoadLibraryA(name);
    }
    DWORD id = 0; // Windows 95 wants somewhere to put it
    const HANDLE thread = CreateThread(nullptr, 0, work, nullptr, 0, &id);
    if (thread == nullptr) {
        return false;
    }
    CloseHandle(thread);
    return true;
}
