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
set(e2e_dir ${CMAKE_CURRENT_LIST_DIR})
set(replay_dir ${PROJECT_SOURCE_DIR}/tests/replay)

# The variables every scenario sees.
set(e2e_definitions
    -D APP=$<TARGET_FILE:W9XKVXXXX>
    -D BOXDEMO=$<TARGET_FILE:boxdemo>
    -D FORMDEMO=$<TARGET_FILE:formdemo>
    -D KXDFLASH=$<TARGET_FILE:kxdflash>
    -D MAKE_FLASHER=$<TARGET_FILE:make_flasher>
    -D LAYER_EXIT=$<TARGET_FILE:layer_exit>
    -D RECORDER=$<TARGET_FILE:recorder>
    -D SOURCE=${PROJECT_SOURCE_DIR}
    -D E2E=${e2e_dir}
    -D BUILD=${CMAKE_BINARY_DIR}
    -D HOOK=)

# kxd_e2e(NAME SCENARIO [CHECK command...] [DEFINE NAME=VALUE...] [PREFIX DIR] [WITH command...])
# PREFIX: a Wine prefix other than the suite's; WITH: a command that runs the test's own (given
# after its words), to prepare its environment. Each test runs in the prefix of the slot CTest
# grants it (scripts/e2e-slot.sh), so that tests running side by side never share a prefix.
function(kxd_e2e name scenario)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "PREFIX" "CHECK;DEFINE;WITH")
    if(NOT arg_PREFIX)
        set(arg_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    endif()
    set(defines)
    foreach(definition ${arg_DEFINE})
        list(APPEND defines -D ${definition})
    endforeach()
    add_test(NAME e2e.${name}
        COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/e2e-slot.sh
            ${arg_WITH} bash ${PROJECT_SOURCE_DIR}/scripts/wine-e2e.sh
            --arch ${e2e_arch}
            --driver $<TARGET_FILE:driver>
            --work ${CMAKE_BINARY_DIR}/e2e/${name}
            ${scenario}
            ${e2e_definitions}
            ${defines})
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 180 LABELS e2e SKIP_RETURN_CODE 77
                         ENVIRONMENT WINEPREFIX=${arg_PREFIX} RESOURCE_GROUPS wineprefix:1)
    # A check run on the work directory after the scenario has passed.
    if(arg_CHECK)
        add_test(NAME e2e.${name}.check COMMAND ${arg_CHECK} ${CMAKE_BINARY_DIR}/e2e/${name})
        set_tests_properties(e2e.${name} PROPERTIES FIXTURES_SETUP e2e.${name})
        set_tests_properties(e2e.${name}.check PROPERTIES FIXTURES_REQUIRED e2e.${name} LABELS e2e)
    endif()
endfunction()

# A scenario may come with NAME.check.sh.
file(GLOB e2e_scenarios CONFIGURE_DEPENDS ${e2e_dir}/*.e2e)
foreach(scenario ${e2e_scenarios})
    get_filename_component(name ${scenario} NAME_WE)
    set(check)
    if(EXISTS ${e2e_dir}/${name}.check.sh)
        set(check CHECK bash ${e2e_dir}/${name}.check.sh)
    endif()
    kxd_e2e(${name} ${scenario} ${check})
endforeach()

# The whole flash once more with the progress bar of the first common controls (4.00), which
# answers 0 to every message that came later (tools/comctl400): the drive gets the same requests,
# and the bar still shows the transfer.
kxd_e2e(flash_completed.comctl400 ${e2e_dir}/flash_completed.e2e
    CHECK bash ${e2e_dir}/comctl400.check.sh
    DEFINE HOOK=$<TARGET_FILE:comctl400>)

# Recorded sessions: each scenario of sessions/ runs once recorded by the recording layer
# against the simulated drive (its devices in sessions/NAME.bus) and once replayed by the
# simulated drive from the recording kept in tests/replay/NAME; tests/replay/check.sh compares
# the recording, the side file and the bus trace with what is kept there.
file(GLOB e2e_sessions CONFIGURE_DEPENDS ${e2e_dir}/sessions/*.e2e)
foreach(scenario ${e2e_sessions})
    get_filename_component(name ${scenario} NAME_WE)
    set(session ${replay_dir}/${name})
    kxd_e2e(record.${name} ${scenario}
        CHECK bash ${replay_dir}/check.sh record ${session}
        DEFINE LAYER=$<TARGET_FILE:recorder> BUS=${e2e_dir}/sessions/${name}.bus
               SESSION=${session} SYSTEM_LAYER=$<TARGET_FILE:wnaspi32>)
    kxd_e2e(replay.${name} ${scenario}
        CHECK bash ${replay_dir}/check.sh replay ${session}
        DEFINE LAYER=$<TARGET_FILE:wnaspi32> BUS=${replay_dir}/replay.bus
               SESSION=${session} SYSTEM_LAYER=$<TARGET_FILE:wnaspi32>)
endforeach()

# Bridged sessions: each scenario of sessions/ once more with our ASPI bridge (layers/bridge) as
# the flasher's layer and the system's, in a prefix of its own whose drive D: is the emulated
# drive (sim/sgdevice, with the devices of sessions/NAME.bus) reached through Wine's SCSI
# pass-through. tests/bridge/check.py compares the emulated drive's trace with the simulated
# layer's kept in tests/replay/NAME. A whole flash runs once more with the recording layer
# beside the flasher, and its recording of the bridged session is compared with the one kept.
# kxd_bridged(NAME SESSION LAYER [--recording]): LAYER beside the flasher.
function(kxd_bridged name session layer)
    kxd_e2e(${name} ${e2e_dir}/sessions/${session}.e2e
        PREFIX ${CMAKE_BINARY_DIR}/wineprefix-bridge
        WITH bash ${PROJECT_SOURCE_DIR}/tests/bridge/with-drive.sh
             ${CMAKE_BINARY_DIR}/sim/sgdevice/preload ${CMAKE_BINARY_DIR}/e2e/${name}/bus.txt
        CHECK python3 ${PROJECT_SOURCE_DIR}/tests/bridge/check.py ${ARGN} ${replay_dir}/${session}
        DEFINE LAYER=${layer} BUS=${e2e_dir}/sessions/${session}.bus
               SESSION=${replay_dir}/${session} SYSTEM_LAYER=$<TARGET_FILE:bridge>)
endfunction()
foreach(scenario ${e2e_sessions})
    get_filename_component(name ${scenario} NAME_WE)
    kxd_bridged(bridge.${name} ${name} $<TARGET_FILE:bridge>)
endforeach()
kxd_bridged(bridge.record.flash_completed flash_completed $<TARGET_FILE:recorder> --recording)

# The recording layer where it cannot record (folders mounted by recorder/with-folders.sh), and
# at the end of a process that leaves a request pending with it.
set(folders ${CMAKE_BINARY_DIR}/e2e/recorder.folders)
kxd_e2e(recorder.unwritable_folders ${e2e_dir}/recorder/unwritable_folders.e2e
    WITH bash ${e2e_dir}/recorder/with-folders.sh ${folders} $<TARGET_FILE:W9XKVXXXX>
         $<TARGET_FILE:recorder>
    DEFINE LAYER=$<TARGET_FILE:recorder> SYSTEM_LAYER=$<TARGET_FILE:wnaspi32>
           RO=${folders}.ro RO_SRC=${folders}.ro-src FULL=${folders}.full)
kxd_e2e(recorder.exit_pending ${e2e_dir}/recorder/exit_pending.e2e
    CHECK bash ${e2e_dir}/recorder/exit_pending.check.sh
    DEFINE LAYER=$<TARGET_FILE:recorder> SYSTEM_LAYER=$<TARGET_FILE:wnaspi32>
           BUS=${e2e_dir}/recorder/exit_pending.bus)

# The transport's faults through the bridge, flash after flash (bridge/transport_faults.bus).
kxd_e2e(bridge.transport_faults ${e2e_dir}/bridge/transport_faults.e2e
    PREFIX ${CMAKE_BINARY_DIR}/wineprefix-bridge
    WITH bash ${PROJECT_SOURCE_DIR}/tests/bridge/with-drive.sh
         ${CMAKE_BINARY_DIR}/sim/sgdevice/preload ${CMAKE_BINARY_DIR}/e2e/bridge.transport_faults/bus.txt
    DEFINE LAYER=$<TARGET_FILE:bridge> BUS=${e2e_dir}/bridge/transport_faults.bus)

# The text-fit check has to fail where the prefix lacks the Windows 9x fonts: text_fit in a prefix
# of its own made without them (KXD_WINE_FONTS=none), expected to stop at a text-fit step.
add_test(NAME e2e.text_fit.without_fonts
    COMMAND bash ${e2e_dir}/without_fonts.sh ${CMAKE_BINARY_DIR}/wineprefix-nofonts
        --arch ${e2e_arch}
        --driver $<TARGET_FILE:driver>
        --work ${CMAKE_BINARY_DIR}/e2e/text_fit.without_fonts
        ${e2e_dir}/text_fit.e2e
        ${e2e_definitions})
set_tests_properties(e2e.text_fit.without_fonts PROPERTIES TIMEOUT 180 LABELS e2e
                     SKIP_RETURN_CODE 77)

# The benchmark of the program's own time in a flash under 64-bit Wine, run once so that it keeps
# working (scripts/bench.sh runs it for its figures).
if(e2e_arch STREQUAL "win64")
    add_test(NAME bench.wine_flash COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/e2e-slot.sh
        bash ${PROJECT_SOURCE_DIR}/bench/wine_flash.sh 1)
    set_tests_properties(bench.wine_flash PROPERTIES TIMEOUT 180 LABELS e2e
                         ENVIRONMENT WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
                         RESOURCE_GROUPS wineprefix:1)
endif()
