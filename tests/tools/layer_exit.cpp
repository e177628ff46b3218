// Ends its process while the recording layer beside it (WNASPI32.DLL) has a request pending: a
// WRITE BUFFER of 64 KiB to 0:1 that the drive never answers. Just before ExitProcess it copies
// the recording as it is then (BEFORE.TXT): it must be whole already, with nothing left for the
// layer to write while the process ends, when it may allocate nothing, take no lock and wait
// for nothing (Windows 9x may have ended another thread inside the heap by then).
#include <windows.h>

#include "aspi/request_block.h"

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
    ExitProcess(0);
}
