# Included by the main build. The fuzz targets need clang's libFuzzer while the main build
# uses g++, so they are a sub-build of their own (this folder's CMakeLists.txt) in build/fuzz,
# made with every build; each then runs briefly over its seed corpus as a test. Without clang
# or libFuzzer's runtime the tests report themselves skipped.
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)

find_program(FUZZ_CLANGXX NAMES clang++)
set(fuzz_buildable OFF)
if(FUZZ_CLANGXX)
  # clang alone is not enough: libFuzzer and the sanitizers' runtimes come in another package.
  set(probe ${CMAKE_BINARY_DIR}/fuzz-probe)
  file(WRITE ${probe}.cpp "extern \"C\" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n")
  execute_process(COMMAND ${FUZZ_CLANGXX} -fsanitize=fuzzer,address,undefined ${probe}.cpp -o ${probe}
                  RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(probe_result EQUAL 0)
    set(fuzz_buildable ON)
  endif()
endif()

if(fuzz_buildable)
  include(ExternalProject)
  ExternalProject_Add(fuzz_targets
    SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
    PREFIX ${CMAKE_BINARY_DIR}/fuzz-subbuild
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${FUZZ_CLANGXX} -DQt6_DIR=${Qt6_DIR}
    # The sub-build tracks its own sources; running it every time keeps it current.
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
else()
  message(STATUS "clang++ with libFuzzer not found: the fuzz tests will be skipped")
endif()

foreach(target IN LISTS FUZZ_TARGETS)
  add_test(NAME ${target}
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/run-target.sh ${CMAKE_BINARY_DIR}/fuzz/${target}
                   ${CMAKE_CURRENT_LIST_DIR}/corpus/${target})
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "TZ=America/Sao_Paulo" SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()
