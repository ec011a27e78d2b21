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

# The fuzzers are built for the host only (tools/fuzz.sh runs them from
# build-native): libFuzzer's runtime doesn't link statically.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND RIZEZUVU_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  foreach(target fuzz_version_fields fuzz_config_document fuzz_configured_text fuzz_config_load
                 fuzz_journal_record fuzz_manifest)
    add_executable(${target} tests/fuzz/${target}.cpp)
    target_link_libraries(${target} PRIVATE rizezuvu_core)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${SANITIZE})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
