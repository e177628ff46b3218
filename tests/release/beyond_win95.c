/* Imports what a Windows 95 release must not: a function Windows 95 lacks and one that only
 * fails there. The import check must name both. */
#include <windows.h>

int main(void) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    HANDLE semaphore = CreateSemaphoreW(NULL, 0, 1, NULL);
    return GetFileAttributesExA("C:\\", GetFileExInfoStandard, &data) && semaphore != NULL;
}
