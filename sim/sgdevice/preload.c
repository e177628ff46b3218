/* The preloaded side of the emulated drive: in every process it is loaded into (LD_PRELOAD), the
 * file KXD_SG_DEVICE names (an empty regular file that a Wine prefix gives as the device of a
 * CD-ROM drive) looks like a SCSI CD-ROM block device, and every ioctl on it goes to the
 * simulated drive (sg_device.h) instead of the kernel.
 *
 * Wine opens the device in wineserver and hands the descriptor to the program's process, where
 * ntdll calls fstat and ioctl on it; so the file is known by its device and inode numbers,
 * whatever path or descriptor reaches it. Wine's pass-through asks fstat for a block device
 * (IOCTL_SCSI_GET_ADDRESS needs one) and then issues SCSI_IOCTL_GET_IDLUN and SG_IO.
 *
 * Debian's 32-bit Wine is built with 64-bit file offsets and times: its ntdll calls
 * __stat64_time64, __lstat64_time64, __fstat64_time64, __fstatat64_time64 and __ioctl_time64.
 * Compiled for i386 with the same settings, the definitions below carry exactly those names;
 * on x86_64 they are the plain stat, lstat, fstat, fstatat and ioctl that 64-bit Wine calls. */
#if defined(__i386__)
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#endif
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "sim/sgdevice/preload.h"

#if defined(__i386__)
#if !defined(__USE_TIME_BITS64)
#error "the i386 build needs glibc's 64-bit time entry points"
#endif
#define REAL(plain, time64) time64
#else
#define REAL(plain, time64) plain
#endif

/* The block device the file stands for: major 11 (SCSI CD-ROM), minor 0. */
enum { CdromMajor = 11 };

typedef int (*stat_fn)(const char*, struct stat*);
typedef int (*fstat_fn)(int, struct stat*);
typedef int (*fstatat_fn)(int, const char*, struct stat*, int);
typedef int (*ioctl_fn)(int, unsigned long, ...);

static struct {
    stat_fn stat, lstat;
    fstat_fn fstat;
    fstatat_fn fstatat;
    ioctl_fn ioctl;
} real;

static pthread_once_t once = PTHREAD_ONCE_INIT;
static int known; /* the file exists: its numbers below */
static dev_t device_dev;
static ino_t device_ino;

static void init(void) {
    struct stat st;
    const char* path = getenv("KXD_SG_DEVICE");
    real.stat = (stat_fn)dlsym(RTLD_NEXT, REAL("stat", "__stat64_time64"));
    real.lstat = (stat_fn)dlsym(RTLD_NEXT, REAL("lstat", "__lstat64_time64"));
    real.fstat = (fstat_fn)dlsym(RTLD_NEXT, REAL("fstat", "__fstat64_time64"));
    real.fstatat = (fstatat_fn)dlsym(RTLD_NEXT, REAL("fstatat", "__fstatat64_time64"));
    real.ioctl = (ioctl_fn)dlsym(RTLD_NEXT, REAL("ioctl", "__ioctl_time64"));
    if (path != NULL && path[0] == '/' && real.stat(path, &st) == 0) {
        device_dev = st.st_dev;
        device_ino = st.st_ino;
        known = 1;
    }
}

static int is_device(const struct stat* st) {
    return known && st->st_dev == device_dev && st->st_ino == device_ino;
}

/* A successful stat of the file reports the block device. */
static int as_device(int result, struct stat* st) {
    if (result == 0 && is_device(st)) {
        st->st_mode = S_IFBLK | (st->st_mode & 07777);
        st->st_rdev = makedev(CdromMajor, 0);
    }
    return result;
}

int stat(const char* path, struct stat* st) {
    pthread_once(&once, init);
    return as_device(real.stat(path, st), st);
}

int lstat(const char* path, struct stat* st) {
    pthread_once(&once, init);
    return as_device(real.lstat(path, st), st);
}

int fstat(int fd, struct stat* st) {
    pthread_once(&once, init);
    return as_device(real.fstat(fd, st), st);
}

int fstatat(int dirfd, const char* path, struct stat* st, int flags) {
    pthread_once(&once, init);
    return as_device(real.fstatat(dirfd, path, st, flags), st);
}

int ioctl(int fd, unsigned long request, ...) {
    struct stat st;
    void* argument;
    va_list arguments;
    va_start(arguments, request);
    argument = va_arg(arguments, void*);
    va_end(arguments);
    pthread_once(&once, init);
    if (known && real.fstat(fd, &st) == 0 && is_device(&st)) {
        int error = 0;
        const int result = kxd_sg_ioctl(request, argument, &error);
        if (result < 0) {
            errno = error;
        }
        return result;
    }
    return real.ioctl(fd, request, argument);
}
