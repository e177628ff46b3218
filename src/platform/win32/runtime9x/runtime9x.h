/* Shared between the entry points and the exit handling. */
#pragma once

void runExitHandlers(void);
