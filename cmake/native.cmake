# Platform-free core on Linux: unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, a libFuzzer target and Google Benchmark.
# The core is compiled once per instrumentation, since each changes the code.

set(VARNIK_WARNINGS -Wall -Wextra)
set(VARNIK_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

# One static build of the core with the given compile (and link) options.
# The first argument after the name is the heap's source list.
function(varnik_core_library name memory)
  add_library(${name} STATIC ${VARNIK_CORE_SOURCES} ${${memory}})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VARNIK_WARNINGS} ${ARGN})
endfunction()

# Unit tests: one executable and one CTest test per test source.
varnik_core_library(varnik_core_sanitized VARNIK_TEST_MEMORY_SOURCES ${VARNIK_SANITIZERS})
target_link_options(varnik_core_sanitized PUBLIC ${VARNIK_SANITIZERS})
foreach(test_source IN LISTS VARNIK_CORE_TEST_SOURCES)
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(${test_name} ${test_source})
  target_compile_options(${test_name} PRIVATE ${VARNIK_WARNINGS} ${VARNIK_SANITIZERS})
  target_link_libraries(${test_name} PRIVATE varnik_core_sanitized gtest_main)
  add_test(NAME native.${test_name} COMMAND ${test_name})
  # Each runs in about a second: one that loops for ever fails soon.
  set_tests_properties(native.${test_name} PROPERTIES TIMEOUT 60)
endforeach()

# Fuzzer: libFuzzer needs clang. The test runs a bounded number of inputs from
# the seed corpus; new inputs go to the build tree, never into the repository.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(VARNIK_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined
      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  varnik_core_library(varnik_core_fuzz VARNIK_MEMORY_SOURCES ${VARNIK_FUZZ_FLAGS})
  add_executable(report_fuzzer ${PROJECT_SOURCE_DIR}/fuzz/report_fuzzer.cpp)
  target_compile_options(report_fuzzer PRIVATE ${VARNIK_WARNINGS} ${VARNIK_FUZZ_FLAGS})
  target_link_options(report_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(report_fuzzer PRIVATE varnik_core_fuzz)

  set(VARNIK_FUZZ_WORK ${CMAKE_BINARY_DIR}/fuzz)
  file(MAKE_DIRECTORY ${VARNIK_FUZZ_WORK}/corpus)
  add_test(NAME native.report_fuzzer
           COMMAND report_fuzzer -runs=200000 -artifact_prefix=${VARNIK_FUZZ_WORK}/
                   ${VARNIK_FUZZ_WORK}/corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus)
else()
  message(STATUS "Not clang: the report fuzzer is not built")
endif()

# Benchmark: optimised, no sanitizers. Run with the `bench` target.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  varnik_core_library(varnik_core_optimised VARNIK_MEMORY_SOURCES -O2)
  add_executable(report_bench ${PROJECT_SOURCE_DIR}/bench/report_bench.cpp)
  target_compile_options(report_bench PRIVATE ${VARNIK_WARNINGS} -O2)
  target_link_libraries(report_bench PRIVATE varnik_core_optimised benchmark::benchmark)
  add_custom_target(bench COMMAND report_bench USES_TERMINAL)
else()
  message(STATUS "Google Benchmark not found: report_bench is not built")
endif()
