# The Windows 9x release links no MinGW CRT and no MSVCRT.DLL: its own start-up and C library
# functions (src/platform/win32/runtime9x) and libgcc and libstdc++ rebuilt for the i486 by
# scripts/build-runtime.sh.
set(KXD_RUNTIME9X_DIR "${PROJECT_SOURCE_DIR}/build/runtime-i486/lib"
    CACHE PATH "libgcc and libstdc++ built for the i486 (scripts/build-runtime.sh)")

# For the targets of the calling directory: crtbegin.o before everything and, after every other
# library (the directory's standard libraries come last on the link line), the runtime and
# crtend.o: between the two lie the exception tables the unwinder registers at start-up.
macro(kxd_link_runtime9x target)
    if(NOT EXISTS "${KXD_RUNTIME9X_DIR}/stamp")
        message(FATAL_ERROR "${KXD_RUNTIME9X_DIR} holds no i486 runtime: run scripts/build-runtime.sh")
    endif()
    # The entry point is named, which also makes the linker take it from the runtime library.
    get_target_property(kxd_runtime9x_type ${target} TYPE)
    if(kxd_runtime9x_type STREQUAL "SHARED_LIBRARY")
        target_link_options(${target} PRIVATE -Wl,--entry=_DllMainCRTStartup@12)
    else()
        target_link_options(${target} PRIVATE -Wl,--entry=_WinMainCRTStartup)
    endif()
    target_link_options(${target} PRIVATE -nostdlib "${KXD_RUNTIME9X_DIR}/crtbegin.o")
    add_dependencies(${target} kxd_runtime9x)
    # Named on the link line as plain files, so relinking on their change has to be asked for.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
        "${CMAKE_BINARY_DIR}/src/platform/win32/runtime9x/libkxd_runtime9x.a"
        "${KXD_RUNTIME9X_DIR}/libstdc++.a" "${KXD_RUNTIME9X_DIR}/libgcc.a"
        "${KXD_RUNTIME9X_DIR}/crtbegin.o" "${KXD_RUNTIME9X_DIR}/crtend.o")
    set(CMAKE_CXX_STANDARD_LIBRARIES
        "-Wl,--start-group \"${KXD_RUNTIME9X_DIR}/libstdc++.a\" \"${KXD_RUNTIME9X_DIR}/libgcc.a\" \
\"${CMAKE_BINARY_DIR}/src/platform/win32/runtime9x/libkxd_runtime9x.a\" -Wl,--end-group \
-lkernel32 \"${KXD_RUNTIME9X_DIR}/crtend.o\"")
    set(CMAKE_C_STANDARD_LIBRARIES "${CMAKE_CXX_STANDARD_LIBRARIES}")
endmacro()
