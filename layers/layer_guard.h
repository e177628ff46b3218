// Every entry point that the system or a layer's own thread calls in one of our ASPI layers
// (DllMain, the thread routines, the exported functions) runs its body through this: no
// exception of any type unwinds through the system's frames that called it.
#pragma once

// Runs `body`; true when it ran to its end, false when it threw (whatever it threw).
template <typename Body> bool layerGuard(Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (...) {
        return false;
    }
}
