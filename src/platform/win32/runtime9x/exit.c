/* The end of the process: exit handlers (the destructors of static objects among them) run in
 * the reverse order of their registration. */
#include <windows.h>

#include <stdlib.h>

#include "runtime9x.h"

enum { FixedHandlers = 32 };

static void (*fixedHandlers[FixedHandlers])(void);
static void (**handlers)(void) = fixedHandlers;
static int handlerCount = 0;
static int handlerRoom = FixedHandlers;

int atexit(void (*handler)(void)) {
    if (handlerCount == handlerRoom) {
        void (**more)(void) = (void (**)(void))malloc(sizeof *more * (size_t)handlerRoom * 2);
        if (more == NULL) {
            return -1;
        }
        for (int i = 0; i < handlerCount; ++i) {
            more[i] = handlers[i];
        }
        if (handlers != fixedHandlers) {
            free((void*)handlers);
        }
        handlers = more;
        handlerRoom *= 2;
    }
    handlers[handlerCount++] = handler;
    return 0;
}

void runExitHandlers(void) {
    while (handlerCount > 0) {
        handlers[--handlerCount]();
    }
}

void exit(int code) {
    runExitHandlers();
    ExitProcess((UINT)code);
}

void _exit(int code) {
    ExitProcess((UINT)code);
}

/* Called by std::terminate: the program ends at once, as the C library's abort does. */
void abort(void) {
    ExitProcess(3);
}

/* Thread-exit destructors of the threads layer's keys: the program's one thread ends with the
 * process, so there is nothing to register. */
int __mingwthr_key_dtor(DWORD key, void (*destructor)(void*)) {
    (void)key;
    (void)destructor;
    return 0;
}

/* libstdc++'s random_device closes a device file in its teardown; the release never opens one
 * (there is no device file on Windows), so there is never anything to close. */
int close(int descriptor) {
    (void)descriptor;
    return -1;
}
