# GoogleTest from Debian's googletest sources, built with the project's toolchain.
if(NOT EXISTS ${GTEST_SOURCE_DIR}/googletest/src/gtest-all.cc)
  message(FATAL_ERROR "GoogleTest sources missing at ${GTEST_SOURCE_DIR}: run tools/setup.sh")
endif()
add_library(gtest_project STATIC
  ${GTEST_SOURCE_DIR}/googletest/src/gtest-all.cc
  ${GTEST_SOURCE_DIR}/googletest/src/gtest_main.cc)
target_include_directories(gtest_project SYSTEM PUBLIC
  ${GTEST_SOURCE_DIR}/googletest/include ${GTEST_SOURCE_DIR}/googletest)
target_compile_options(gtest_project PRIVATE -w)
find_package(Threads REQUIRED)
target_link_libraries(gtest_project PUBLIC Threads::Threads)
include(GoogleTest)
