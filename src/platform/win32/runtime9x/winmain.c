/* The program's entry point: static constructors run from main (GCC calls __main there), exit
 * handlers after it returns. */
#include <stdlib.h>

int main(void);

void WinMainCRTStartup(void) {
    exit(main());
}

/* The same for a program of the console subsystem. */
void mainCRTStartup(void) {
    exit(main());
}
