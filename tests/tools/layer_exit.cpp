// Ends its process the hard way for one of our ASPI layers (WNASPI32.DLL beside it): a request to
// 0:1 still pending with the layer (a WRITE BUFFER of 64 KiB, too large for any per-thread
// cache of the heap), and another thread holding the process heap's lock, as ExitProcess leaves
// a thread it ends in the middle of an allocation. A layer that allocates, or waits, while the
// process ends would hang it for good on Windows 9x; the test gives it a second. (Wine lets no
// critical section block while a process ends, so there only a wait would show.) Just before
// the end it copies the recording layer's text as it is (BEFORE.TXT): the recording must be
// whole by then, with nothing left to write.
#include <windows.h>

#include "aspi/request_block.h"

namespace {

HANDLE locked = nullptr;

DWORD WINAPI holdHeap(LPVOID) {
    HeapLock(GetProcessHeap());
    SetEvent(locked);
    Sleep(INFINITE);
    return 0;
}

} // namespace

int main() {
    const HMODULE layer = LoadLibraryA("WNASPI32.DLL");
    using SupportFn = DWORD(__cdecl*)(void);
    using SendFn = DWORD(__cdecl*)(void*);
    const auto support = reinterpret_cast<SupportFn>(
        reinterpret_cast<void*>(GetProcAddress(layer, "GetASPI32SupportInfo")));
    const auto send = reinterpret_cast<SendFn>(
        reinterpret_cast<void*>(GetProcAddress(layer, "SendASPI32Command")));
    if (support == nullptr || send == nullptr || ((support() >> 8) & 0xFF) != aspi::SS_COMP) {
        return 1;
    }
    // A block to the drive's download buffer, which the drive never answers.
    static uint8_t data[65536];
    static aspi::RequestBlock block{};
    block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    block.SRB_Target = 1;
    block.SRB_Flags = aspi::SRB_EVENT_NOTIFY;
    block.SRB_SenseLen = aspi::SENSE_LEN;
    block.SRB_CDBLen = 10;
    block.SRB_BufLen = sizeof data;
    block.SRB_BufPointer = data;
    const uint8_t cdb[] = {0x3B, 0x05, 0x01, 0, 0, 0, 0x01, 0x00, 0x00, 0};
    for (std::size_t i = 0; i < sizeof cdb; ++i) {
        block.CDBByte[i] = cdb[i];
        data[i] = static_cast<uint8_t>(i + 1);
    }
    const HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    block.SRB_PostProc = done;
    send(&block);
    if (WaitForSingleObject(done, 200) != WAIT_TIMEOUT) {
        return 2; // it was meant to stay pending
    }
    CopyFileA("KXDREC00.TXT", "BEFORE.TXT", FALSE);
    locked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    CloseHandle(CreateThread(nullptr, 0, holdHeap, nullptr, 0, &id));
    WaitForSingleObject(locked, INFINITE);
    ExitProcess(0);
}
