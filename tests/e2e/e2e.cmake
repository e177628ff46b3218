# End-to-end tests: the driver runs every tests/e2e/*.e2e scenario under Wine and Xvfb, the
# x86_64 build under 64-bit Wine and the i686 build (the Windows 9x release) under 32-bit Wine,
# each suite in a prefix of its own. Each test gets an empty work directory
# build/<preset>/e2e/<name> that holds its transcript and screenshots afterwards; scenarios see
# it as ${WORK}. Where the kernel cannot run 32-bit programs the i686 suite is reported as
# skipped (exit code 77).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(e2e_arch win64)
else()
    set(e2e_arch win32)
endif()
set(e2e_environment WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix)

set(e2e_definitions
    -D APP=$<TARGET_FILE:W9XKVXXXX>
    -D BOXDEMO=$<TARGET_FILE:boxdemo>
    -D FORMDEMO=$<TARGET_FILE:formdemo>
    -D MAKE_FLASHER=$<TARGET_FILE:make_flasher>
    -D RECORDER=$<TARGET_FILE:recorder>
    -D SOURCE=${PROJECT_SOURCE_DIR}
    -D E2E=${CMAKE_CURRENT_LIST_DIR}
    -D BUILD=${CMAKE_BINARY_DIR})

file(GLOB e2e_scenarios CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.e2e)
foreach(scenario ${e2e_scenarios})
    get_filename_component(name ${scenario} NAME_WE)
    add_test(NAME e2e.${name}
        COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-e2e.sh
            --arch ${e2e_arch}
            --driver $<TARGET_FILE:driver>
            --work ${CMAKE_BINARY_DIR}/e2e/${name}
            ${scenario}
            ${e2e_definitions})
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 180 LABELS e2e SKIP_RETURN_CODE 77
                         ENVIRONMENT "${e2e_environment}")
    # A scenario may come with NAME.check.sh, run on its work directory after it has passed.
    if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${name}.check.sh)
        add_test(NAME e2e.${name}.check
            COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${name}.check.sh ${CMAKE_BINARY_DIR}/e2e/${name})
        set_tests_properties(e2e.${name} PROPERTIES FIXTURES_SETUP e2e.${name})
        set_tests_properties(e2e.${name}.check PROPERTIES FIXTURES_REQUIRED e2e.${name} LABELS e2e)
    endif()
endforeach()

# The text-fit check has to fail where the prefix lacks the Windows 9x fonts: text_fit in a prefix
# of its own made without them (KXD_WINE_FONTS=none), expected to stop at a text-fit step.
add_test(NAME e2e.text_fit.without_fonts
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/without_fonts.sh ${CMAKE_BINARY_DIR}/wineprefix-nofonts
        --arch ${e2e_arch}
        --driver $<TARGET_FILE:driver>
        --work ${CMAKE_BINARY_DIR}/e2e/text_fit.without_fonts
        ${CMAKE_CURRENT_LIST_DIR}/text_fit.e2e
        ${e2e_definitions})
set_tests_properties(e2e.text_fit.without_fonts PROPERTIES TIMEOUT 180 LABELS e2e
                     SKIP_RETURN_CODE 77)
