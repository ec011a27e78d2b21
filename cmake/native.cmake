# The logic that needs no operating system, built with the host compiler and
# tested under AddressSanitizer and UndefinedBehaviorSanitizer; fuzzed with
# libFuzzer when the compiler is clang. With cmake/native-i386.cmake the same
# is built as 32-bit x86 and its tests run under qemu-i386-static.
option(RIZEZUVU_SANITIZE "Build the native code under AddressSanitizer and UBSan" ON)
# A toolchain file may choose other sanitizer flags (cmake/native-i386.cmake).
if(NOT DEFINED RIZEZUVU_SANITIZE_FLAGS)
  set(RIZEZUVU_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
endif()
if(RIZEZUVU_SANITIZE)
  set(SANITIZE ${RIZEZUVU_SANITIZE_FLAGS})
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
# the one list of targets, here and in tools/fuzz.sh. They are built for the
# host only (tools/fuzz.sh runs them from build-native): libFuzzer's runtime
# doesn't link statically.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND RIZEZUVU_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(source ${FUZZ_SOURCES})
    get_filename_component(target ${source} NAME_WE)
    add_executable(${target} ${source})
    target_link_libraries(${target} PRIVATE rizezuvu_core)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${SANITIZE})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
