/* The Windows 9x release's C library functions under names of their own, so that the unit
 * tests can compare them with the host's C library in one process. */
#define memcpy r9x_memcpy
#define memmove r9x_memmove
#define memset r9x_memset
#define memcmp r9x_memcmp
#define memchr r9x_memchr
#define strlen r9x_strlen
#define strcmp r9x_strcmp
#define strncmp r9x_strncmp
#define strchr r9x_strchr
#define strtoul r9x_strtoul
#define malloc r9x_malloc
#define calloc r9x_calloc
#define realloc r9x_realloc
#define free r9x_free
