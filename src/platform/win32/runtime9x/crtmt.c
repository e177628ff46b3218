/* Read by the threads layer of libgcc and libstdc++: 0 means the program runs one thread of C++
 * code, so their mutexes need no semaphores. A library whose C++ code runs on more threads
 * defines it as 2 itself, and then this one is not linked. */
int _CRT_MT = 0;
