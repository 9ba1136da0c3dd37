# The two Windows builds: the product (win32) and its x86-64 twin (win64).
# Same sources, same exports; tests run under Wine through wine-run.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VARNIK_ARCH win32)
  set(VARNIK_DEF ${CMAKE_SOURCE_DIR}/plugin/varnik32.def)
  set(VARNIK_PE_FORMAT pei-i386)
  set(VARNIK_OBJDUMP i686-w64-mingw32-objdump)
else()
  set(VARNIK_ARCH win64)
  set(VARNIK_DEF ${CMAKE_SOURCE_DIR}/plugin/varnik64.def)
  set(VARNIK_PE_FORMAT pei-x86-64)
  set(VARNIK_OBJDUMP x86_64-w64-mingw32-objdump)
endif()
set(VARNIK_DIST_DIR ${CMAKE_SOURCE_DIR}/dist/${VARNIK_ARCH})

set(VARNIK_WARNINGS -Wall -Wextra)
# GCC 12 reports false positives inside std::variant and std::optional.
set(VARNIK_TEST_WARNINGS ${VARNIK_WARNINGS} -Wno-maybe-uninitialized)
# Test programs and tools carry their whole runtime inside: only system DLLs
# at run time.
set(VARNIK_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The plug-in is a guest in the host's process and brings no runtime along:
# no C++ library, exceptions, RTTI or thread library, and no C run-time
# start-up: the loader calls DllMain itself. Memory comes from the process
# heap, byte loops are its own, libgcc gives the compiler's own helpers
# (stack probes).
# Built for size, not with the Release -O3 that the tests and tools keep: a
# few small calls per event gain nothing from inlining and unrolling, and the
# file the host loads is about half as large.
set(VARNIK_PLUGIN_FLAGS -Os -g -fno-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections
    -fdata-sections
    # The plug-in's byte loops stay loops: there is no C library to call.
    -fno-tree-loop-distribute-patterns)
if(VARNIK_ARCH STREQUAL "win32")
  # x86 needs no unwind tables; without crtbegin nothing would register them.
  list(APPEND VARNIK_PLUGIN_FLAGS -fno-asynchronous-unwind-tables)
  set(VARNIK_ENTRY _DllMain@12)
else()
  # x64 unwind data is plain data that the system reads; keep it, so that
  # the host's own exceptions unwind through our frames.
  set(VARNIK_ENTRY DllMain)
endif()

# No build folder in any binary, so the release is the same wherever it is built.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>)

enable_language(RC)
add_library(varnik SHARED ${VARNIK_CORE_SOURCES} ${VARNIK_MEMORY_SOURCES} ${VARNIK_WIN32_SOURCES} ${VARNIK_DEF}
            plugin/version.rc)
target_include_directories(varnik PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(varnik PRIVATE ${VARNIK_WARNINGS} $<$<COMPILE_LANGUAGE:CXX>:${VARNIK_PLUGIN_FLAGS}>)
# Every volume event builds and searches its report with the text helpers:
# built for speed in the plug-in too, as with -Os alone one direct send took
# 1.7 times its floor against a goal of 1.5 (1.5 with this, 1 KB more).
set_source_files_properties(support/text.cpp
  PROPERTIES COMPILE_OPTIONS "$<$<STREQUAL:$<TARGET_PROPERTY:NAME>,varnik>:-O2>")
target_link_options(varnik PRIVATE -nostdlib -Wl,--entry,${VARNIK_ENTRY} -Wl,--gc-sections
                    -Wl,--no-insert-timestamp)
target_link_libraries(varnik PRIVATE user32 gdi32 kernel32 gcc)
set_target_properties(varnik PROPERTIES
  PREFIX "" SUFFIX ".nbp" OUTPUT_NAME varnik
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
# What ships has no debug sections; its symbols stay in the build tree
# (varnik.nbp.debug), found by the debug link.
set(VARNIK_PLUGIN ${VARNIK_DIST_DIR}/varnik.nbp)
set(VARNIK_PLUGIN_SYMBOLS ${CMAKE_BINARY_DIR}/varnik.nbp.debug)
add_custom_command(TARGET varnik POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VARNIK_DIST_DIR}
  # objcopy stamps a PE file with the time unless told a fixed one: 0, as
  # the linker leaves it. The debug link holds the symbols' checksum too.
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:varnik> ${VARNIK_PLUGIN_SYMBOLS}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${VARNIK_PLUGIN_SYMBOLS}
          $<TARGET_FILE:varnik> ${VARNIK_PLUGIN}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  BYPRODUCTS ${VARNIK_PLUGIN} ${VARNIK_PLUGIN_SYMBOLS})

# The plug-in host: loads a plug-in and calls its exports as the authoring
# application does. It ships inside varnik-host; the Wine tests use it too.
add_library(plugin_host STATIC
  tools/plugin_host/device_broadcast.cpp
  tools/plugin_host/plugin_library.cpp
  tools/plugin_host/process_usage.cpp
  tools/plugin_host/plugin_host.cpp
  tools/plugin_host/reload_cycles.cpp)
target_include_directories(plugin_host PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(plugin_host PUBLIC gdi32)
target_compile_options(plugin_host PRIVATE ${VARNIK_TEST_WARNINGS})

# Test-only hooks on the plug-in's imports (its heap blocks, the host's text
# blocks): never linked into what ships.
add_library(test_support STATIC
  tests/support/heap_blocks.cpp
  tests/support/host_blocks.cpp
  tests/support/import_hook.cpp)
target_link_libraries(test_support PUBLIC plugin_host)
target_compile_options(test_support PRIVATE ${VARNIK_TEST_WARNINGS})

# Plug-ins that each keep one thing per load and free, for the reload counts
# of check and of the registration test to catch: keeps-handle.dll and so on.
set(VARNIK_KEEPS handle tls-index gdi-object memory heap-block)
foreach(kept IN LISTS VARNIK_KEEPS)
  list(FIND VARNIK_KEEPS ${kept} number)
  math(EXPR number "${number} + 1")
  add_library(keeps-${kept} SHARED tests/wine/keeps_one_thing.cpp ${VARNIK_DEF})
  target_compile_definitions(keeps-${kept} PRIVATE KEEPS=${number})
  target_include_directories(keeps-${kept} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(keeps-${kept} PRIVATE ${VARNIK_WARNINGS})
  target_link_options(keeps-${kept} PRIVATE -nostdlib -Wl,--entry,${VARNIK_ENTRY})
  target_link_libraries(keeps-${kept} PRIVATE kernel32 gdi32)
  set_target_properties(keeps-${kept} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  list(APPEND VARNIK_KEEPS_TARGETS keeps-${kept})
endforeach()

# A plug-in whose registration check's step 2 must refuse.
add_library(miscounted SHARED tests/host_tool/miscounted_plugin.cpp ${VARNIK_DEF})
target_include_directories(miscounted PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(miscounted PRIVATE ${VARNIK_WARNINGS})
target_link_options(miscounted PRIVATE -nostdlib -Wl,--entry,${VARNIK_ENTRY})
target_link_libraries(miscounted PRIVATE kernel32)
set_target_properties(miscounted PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
list(APPEND VARNIK_KEEPS_TARGETS miscounted)

# Varnik whose watcher never hears DBT_DEVNODES_CHANGED: check's step 4 must
# refuse it.
set(VARNIK_DEAF_SOURCES ${VARNIK_CORE_SOURCES})
list(FILTER VARNIK_DEAF_SOURCES EXCLUDE REGEX "/event_report\\.cpp$")
add_library(deaf SHARED ${VARNIK_DEAF_SOURCES} tests/host_tool/deaf_plugin.cpp ${VARNIK_MEMORY_SOURCES}
            ${VARNIK_WIN32_SOURCES} ${VARNIK_DEF})
target_include_directories(deaf PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(deaf PRIVATE ${VARNIK_WARNINGS} ${VARNIK_PLUGIN_FLAGS})
target_link_options(deaf PRIVATE -nostdlib -Wl,--entry,${VARNIK_ENTRY} -Wl,--gc-sections)
target_link_libraries(deaf PRIVATE user32 gdi32 kernel32 gcc)
set_target_properties(deaf PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
list(APPEND VARNIK_KEEPS_TARGETS deaf)

# For authors and testers: list, watch, edit and a demo without the host.
add_executable(varnik-host tools/varnik-host/main.cpp tools/varnik-host/demo.cpp tools/varnik-host/rehearse.cpp
  tools/varnik-host/output.cpp tools/varnik-host/plugin_file.cpp tools/varnik-host/log.cpp tools/varnik-host/check.cpp
  tools/varnik-host/running_watches.cpp tools/varnik-host/get_tick_count64_on_xp.cpp)
target_link_libraries(varnik-host PRIVATE plugin_host)
target_compile_options(varnik-host PRIVATE ${VARNIK_TEST_WARNINGS})
# It ships: the same bytes from every build of a commit.
target_link_options(varnik-host PRIVATE ${VARNIK_STATIC_RUNTIME} -Wl,--no-insert-timestamp)

# Wine's Z: drive is the Linux root, so the tests load the built DLL itself.
set(VARNIK_PLUGIN_WINE_PATH "Z:${VARNIK_DIST_DIR}/varnik.nbp")

# One wineserver for the whole run (see scripts/wine-server).
add_test(NAME ${VARNIK_ARCH}.wine.server.start
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-server start $<TARGET_FILE:varnik-host>)
add_test(NAME ${VARNIK_ARCH}.wine.server.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-server stop)
set_tests_properties(${VARNIK_ARCH}.wine.server.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(${VARNIK_ARCH}.wine.server.stop PROPERTIES FIXTURES_CLEANUP wine)

# A Windows program run by CTest through wine-run: CTest's timeout kills
# with SIGKILL, which would lose the output wine-run holds, so wine-run ends
# the program itself 10 s before and prints what it held. It runs with
# Wine's heap checking: freed blocks are filled and checked, so the tests'
# HeapValidate sees a block written after it was freed.
function(varnik_wine_timeout test seconds)
  math(EXPR limit "${seconds} - 10")
  set_tests_properties(${test} PROPERTIES TIMEOUT ${seconds}
    ENVIRONMENT "VARNIK_RUN_LIMIT=${limit};WINEDEBUG=-all,warn+heap")
endfunction()

# A Wine test program: GoogleTest, the test host, the plug-in's path. Each
# test runs in a process of its own, so each loads a fresh plug-in (a watcher
# window left open keeps the library loaded, as it must). The names come from
# the source, so each is reported even where the program cannot run (77:
# wine-run's skip); the program's own list keeps them honest: a name it lacks
# fails (the test main fails a filter that matches nothing), and a run that
# leaves out every name must find no test left. A GTEST_SKIP is a skip.
function(varnik_wine_test name source)
  add_executable(${name} ${source} tests/wine/wine_test_main.cpp)
  target_link_libraries(${name} PRIVATE test_support gtest version)
  target_compile_options(${name} PRIVATE ${VARNIK_TEST_WARNINGS})
  target_link_options(${name} PRIVATE ${VARNIK_STATIC_RUNTIME})
  add_dependencies(${name} varnik)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} content)
  set(pattern "TEST(_F)?\\([ \t\r\n]*([A-Za-z0-9_]+),[ \t\r\n]*([A-Za-z0-9_]+)[ \t\r\n]*\\)")
  string(REGEX MATCHALL "${pattern}" cases "${content}")
  foreach(case IN LISTS cases)
    string(REGEX REPLACE "${pattern}" "\\2.\\3" case "${case}")
    add_test(NAME ${VARNIK_ARCH}.${case}
      COMMAND ${name} --plugin=${VARNIK_PLUGIN_WINE_PATH} --gtest_filter=${case})
    varnik_wine_timeout(${VARNIK_ARCH}.${case} 120)
    # It prints at once: a run that printed nothing never started (scripts/wine-run).
    set_property(TEST ${VARNIK_ARCH}.${case} APPEND PROPERTY ENVIRONMENT VARNIK_PRINTS_AT_START=1)
    set_tests_properties(${VARNIK_ARCH}.${case} PROPERTIES
      FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] 1 test"
      # Broadcasts reach every window on Wine's one desktop: one test at a time.
      RESOURCE_LOCK wine_desktop)
    string(APPEND listed ":${case}")
  endforeach()
  add_test(NAME ${VARNIK_ARCH}.${name}.every_test_registered
    COMMAND ${name} --plugin=${VARNIK_PLUGIN_WINE_PATH} --gtest_filter=-${listed})
  varnik_wine_timeout(${VARNIK_ARCH}.${name}.every_test_registered 120)
  set_tests_properties(${VARNIK_ARCH}.${name}.every_test_registered PROPERTIES
    FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 RESOURCE_LOCK wine_desktop
    PASS_REGULAR_EXPRESSION "no test matches")
endfunction()

varnik_wine_test(registration_test tests/wine/registration_test.cpp)
add_dependencies(registration_test ${VARNIK_KEEPS_TARGETS})
varnik_wine_test(watcher_test tests/wine/watcher_test.cpp)
varnik_wine_test(edit_dialog_test tests/wine/edit_dialog_test.cpp)
# These count the process's private memory as Windows counts it; Wine's heap
# checking keeps freed blocks apart, which would count as memory kept.
foreach(case EditDialogTest.RepeatedEditsLeaveNoGdiObjectsBehind Library.LoadingAndFreeingItAgainAndAgainKeepsNothing
        Library.TheReloadCountCatchesEveryKindOfThingKept)
  set_tests_properties(${VARNIK_ARCH}.${case} PROPERTIES ENVIRONMENT_MODIFICATION WINEDEBUG=set:-all)
endforeach()
# Calling conventions exist only on 32-bit x86: there is nothing to check on
# the x86-64 twin.
if(VARNIK_ARCH STREQUAL "win32")
  varnik_wine_test(stack_check_test tests/wine/stack_check_test.cpp)
  target_sources(stack_check_test PRIVATE tests/support/stack_check.cpp)
endif()

# The host-call layer, linked in directly rather than reached through a DLL.
add_executable(host_calls_test tests/wine/host_calls_test.cpp
  plugin/host_calls.cpp plugin/host_context.cpp plugin/host_text.cpp support/text.cpp ${VARNIK_MEMORY_SOURCES})
target_include_directories(host_calls_test PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(host_calls_test PRIVATE gtest_main)
target_compile_options(host_calls_test PRIVATE ${VARNIK_TEST_WARNINGS})
target_link_options(host_calls_test PRIVATE ${VARNIK_STATIC_RUNTIME})
add_test(NAME ${VARNIK_ARCH}.host_calls_test COMMAND host_calls_test)
varnik_wine_timeout(${VARNIK_ARCH}.host_calls_test 300)
set_tests_properties(${VARNIK_ARCH}.host_calls_test PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77)

# The edit dialog in a real X window (Xvfb, Wine's X11 driver), driven with
# xdotool; its screenshot is kept in the build tree.
add_test(NAME ${VARNIK_ARCH}.edit_dialog_x11
  COMMAND ${CMAKE_SOURCE_DIR}/tests/xvfb/edit_dialog_x11.sh $<TARGET_FILE:varnik-host>
          ${VARNIK_PLUGIN_WINE_PATH} ${CMAKE_BINARY_DIR}/edit-dialog.png)
set_tests_properties(${VARNIK_ARCH}.edit_dialog_x11 PROPERTIES
  SKIP_RETURN_CODE 77 TIMEOUT 180 RESOURCE_LOCK wine_x11)

# varnik-host's commands and errors, on the real plug-in.
if(VARNIK_ARCH STREQUAL "win32")
  set(VARNIK_OTHER_PLUGIN "Z:${CMAKE_SOURCE_DIR}/dist/win64/varnik.nbp")
else()
  set(VARNIK_OTHER_PLUGIN "Z:${CMAKE_SOURCE_DIR}/dist/win32/varnik.nbp")
endif()
# Events that no varnik-host command sends, from a process of their own.
add_executable(send-device-change tests/host_tool/send_device_change.cpp)
target_link_libraries(send-device-change PRIVATE plugin_host)
target_compile_options(send-device-change PRIVATE ${VARNIK_TEST_WARNINGS})
target_link_options(send-device-change PRIVATE ${VARNIK_STATIC_RUNTIME})
add_dependencies(send-device-change ${VARNIK_KEEPS_TARGETS})
# Windows that varnik-host meets on a client's machine: look-alikes of a watch
# that answer in hostile ways, and a watch with a slow callback.
add_executable(test-windows tests/host_tool/test_windows.cpp)
target_link_libraries(test-windows PRIVATE plugin_host)
target_compile_options(test-windows PRIVATE ${VARNIK_TEST_WARNINGS})
target_link_options(test-windows PRIVATE ${VARNIK_STATIC_RUNTIME})
add_dependencies(test-windows varnik)
add_test(NAME ${VARNIK_ARCH}.varnik_host_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/host_tool/varnik_host_test.sh $<TARGET_FILE:varnik-host>
          ${VARNIK_PLUGIN_WINE_PATH} ${VARNIK_OTHER_PLUGIN} $<TARGET_FILE:send-device-change>
          Z:${CMAKE_BINARY_DIR} $<TARGET_FILE:test-windows>)
set_tests_properties(${VARNIK_ARCH}.varnik_host_test PROPERTIES
  FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 420 RESOURCE_LOCK wine_desktop)

# The release archive (the 32-bit build makes it).
if(VARNIK_ARCH STREQUAL "win32")
  add_test(NAME win32.package_test COMMAND ${CMAKE_SOURCE_DIR}/tests/check_package.sh)
endif()

# How scripts/wine-run ends a crash, and when it runs a program once more.
add_test(NAME ${VARNIK_ARCH}.wine_run_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check_wine_run.sh $<TARGET_FILE:watcher_test>)
set_tests_properties(${VARNIK_ARCH}.wine_run_test PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 120)

# The export table of the built DLL, and what it and varnik-host import, read
# with a PE parser (tests/pe_tables.py).
add_test(NAME ${VARNIK_ARCH}.exports_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check_exports.sh ${VARNIK_OBJDUMP} ${VARNIK_PLUGIN} ${VARNIK_PE_FORMAT}
          $<TARGET_FILE:varnik> $<TARGET_FILE:varnik-host>)

# The platform-free core's unit tests, also run under Wine on this target.
add_executable(core_test ${VARNIK_CORE_SOURCES} ${VARNIK_TEST_MEMORY_SOURCES} ${VARNIK_CORE_TEST_SOURCES})
target_include_directories(core_test PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(core_test PRIVATE gtest_main)
target_link_options(core_test PRIVATE ${VARNIK_STATIC_RUNTIME})
add_test(NAME ${VARNIK_ARCH}.core_test COMMAND core_test)
varnik_wine_timeout(${VARNIK_ARCH}.core_test 300)
set_tests_properties(${VARNIK_ARCH}.core_test PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77)

# The soak run (not a test: `make soak` runs it).
add_executable(varnik-soak bench/soak.cpp)
target_link_libraries(varnik-soak PRIVATE test_support)
target_compile_options(varnik-soak PRIVATE ${VARNIK_TEST_WARNINGS})
target_link_options(varnik-soak PRIVATE ${VARNIK_STATIC_RUNTIME})

# The broadcast-path benchmark (not a test: `make bench` runs it).
add_executable(varnik-broadcast-bench bench/broadcast_bench.cpp)
target_link_libraries(varnik-broadcast-bench PRIVATE plugin_host)
target_compile_options(varnik-broadcast-bench PRIVATE ${VARNIK_TEST_WARNINGS})
target_link_options(varnik-broadcast-bench PRIVATE ${VARNIK_STATIC_RUNTIME})

# Tests against the system's own device events, when present.
include(${CMAKE_SOURCE_DIR}/cmake/e2e.cmake OPTIONAL)
