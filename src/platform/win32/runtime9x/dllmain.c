/* A DLL's entry point: static constructors (which also register the exception tables) before
 * the library's own DllMain sees it attach, exit handlers after it has seen it detach. */
#include <windows.h>

#include "runtime9x.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
void __main(void);

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        __main();
    }
    const BOOL result = DllMain(instance, reason, reserved);
    if (reason == DLL_PROCESS_DETACH) {
        runExitHandlers();
    }
    return result;
}
