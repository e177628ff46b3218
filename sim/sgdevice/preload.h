/* Between the preloaded C functions (preload.c) and the simulated drive (preload_device.cpp). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* What ioctl on the emulated device node returns; where that is -1, *error is errno. */
int kxd_sg_ioctl(unsigned long request, void* argument, int* error);

#ifdef __cplusplus
}
#endif
