# The logic that needs no operating system, built with the host compiler and
# tested under AddressSanitizer and UndefinedBehaviorSanitizer; fuzzed with
# libFuzzer when the compiler is clang.
option(RIZEZUVU_SANITIZE "Build the native code under AddressSanitizer and UBSan" ON)
if(RIZEZUVU_SANITIZE)
  set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
else()
  set(SANITIZE)
endif()
target_compile_options(rizezuvu_core PRIVATE ${SANITIZE})
target_compile_options(tinyxml PRIVATE ${SANITIZE})
target_compile_options(ovpack_core PRIVATE ${SANITIZE})
target_compile_options(ovpack PRIVATE ${SANITIZE})
target_link_options(rizezuvu_core PUBLIC ${SANITIZE})

include(cmake/gtest.cmake)
target_compile_options(gtest_project PRIVATE ${SANITIZE})
add_subdirectory(tests)

# Every tests/fuzz/fuzz_NAME.cpp is the fuzz target fuzz_NAME: the files are
# the one list of targets, here and in tools/fuzz.sh.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND RIZEZUVU_SANITIZE)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(source ${FUZZ_SOURCES})
    get_filename_component(target ${source} NAME_WE)
    add_executable(${target} ${source})
    target_link_libraries(${target} PRIVATE rizezuvu_core)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${SANITIZE})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
