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

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND RIZEZUVU_SANITIZE)
  foreach(target fuzz_version_fields fuzz_config_document fuzz_configured_text fuzz_config_load
                 fuzz_journal_record fuzz_manifest)
    add_executable(${target} tests/fuzz/${target}.cpp)
    target_link_libraries(${target} PRIVATE rizezuvu_core)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${SANITIZE})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
