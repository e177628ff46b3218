set(CMAKE_SYSTEM_PROCESSOR i686)
set(KXD_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
# Every CPU from the i486 up: no CMOV, FCOMI, CMPXCHG8B, RDTSC, MMX or SSE. Given to the link as
# well, where link-time optimisation generates the code.
set(CMAKE_C_FLAGS_INIT "-march=i486")
set(CMAKE_CXX_FLAGS_INIT "-march=i486")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-march=i486")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-march=i486")
