/* The layers' worker threads run C++ code beside the program's thread: with the release's own
 * runtime, the threads layer of libgcc and libstdc++ is told to lock for real. */
int _CRT_MT = 2;
