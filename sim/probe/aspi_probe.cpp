// Loads WNASPI32.DLL the way the flasher does, asks for its support information and sends
// INQUIRY with event notification to the six drive slots, printing one line per slot. Used to
// check the simulated ASPI layer under Wine.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "aspi/request_block.h"
#include "aspi/scsi.h"

using GetSupportInfo = DWORD(__cdecl*)(void);
using SendCommand = DWORD(__cdecl*)(void*);

int main() {
    HMODULE library = LoadLibraryA("WNASPI32.DLL");
    if (library == nullptr) {
        std::printf("load failed\n");
        return 1;
    }
    auto getInfo = reinterpret_cast<GetSupportInfo>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetASPI32SupportInfo")));
    auto send = reinterpret_cast<SendCommand>(
        reinterpret_cast<void*>(GetProcAddress(library, "SendASPI32Command")));
    if (getInfo == nullptr || send == nullptr) {
        std::printf("lookup failed\n");
        return 1;
    }
    const DWORD info = getInfo();
    std::printf("support %04lX\n", static_cast<unsigned long>(info & 0xFFFF));
    static const BYTE slots[6][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
    for (const auto& slot : slots) {
        aspi::RequestBlock block;
        std::memset(&block, 0, sizeof block);
        BYTE reply[scsi::InquiryLength] = {};
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        block.SRB_HaId = slot[0];
        block.SRB_Target = slot[1];
        block.SRB_Flags = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;
        block.SRB_BufLen = sizeof reply;
        block.SRB_BufPointer = reply;
        block.SRB_SenseLen = aspi::SENSE_LEN;
        block.SRB_CDBLen = 6;
        block.CDBByte[0] = scsi::Inquiry;
        block.CDBByte[4] = sizeof reply;
        block.SRB_PostProc = event;
        send(&block);
        if (aspi::loadStatus(block) == aspi::SS_PENDING) {
            WaitForSingleObject(event, 10000);
        }
        CloseHandle(event);
        const unsigned status = aspi::loadStatus(block);
        std::printf("slot %u:%u status %02X", unsigned{slot[0]}, unsigned{slot[1]}, status);
        if (status == aspi::SS_COMP) {
            std::printf(" \"%.28s\"",
                        reinterpret_cast<const char*>(reply + scsi::IdentificationOffset));
        }
        std::printf("\n");
    }
    std::fflush(stdout);
    FreeLibrary(library);
    return 0;
}
