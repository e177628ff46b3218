# The builder's file matrix under Wine, in both Windows suites: the program's flasher writer
# over the real Win32 file system, one row a case (builder_matrix.cpp), with a small file system
# that fills up and a read-only one mounted by builder_matrix.sh.
add_executable(builder_matrix ${CMAKE_CURRENT_LIST_DIR}/builder_matrix.cpp)
target_link_libraries(builder_matrix PRIVATE kxd_package kxd_platform_win32)
add_test(NAME builder_matrix
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/builder_matrix.sh
        --arch ${e2e_arch}
        --tool $<TARGET_FILE:builder_matrix>
        --template $<TARGET_FILE:W9XKVXXXX>
        --images ${PROJECT_SOURCE_DIR}/tests/e2e/builder_images
        --work ${CMAKE_BINARY_DIR}/builder_matrix)
set_tests_properties(builder_matrix PROPERTIES TIMEOUT 300 LABELS e2e SKIP_RETURN_CODE 77
                     ENVIRONMENT "${e2e_environment}")
