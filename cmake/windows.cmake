# The Windows program, its tests and the test tools, cross-compiled with MinGW-w64.

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -Wl,--dynamicbase -Wl,--nxcompat")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -Wl,--high-entropy-va")
endif()

add_library(rizezuvu_win STATIC
  platform/framework_win.cpp
  platform/path_services_win.cpp
  platform/file_system_win.cpp
  platform/private_folder_win.cpp
  platform/named_lock_win.cpp
  platform/error_codes_win.cpp
  platform/code_page_win.cpp
  platform/ini_file_win.cpp
  platform/system_error_win.cpp
  platform/message_loop_win.cpp
  platform/window_services_win.cpp
  platform/shell_open_win.cpp
  platform/system_library_win.cpp
  platform/standard_error_win.cpp
  config/update_context_win.cpp
  config/seal_section_win.cpp
  product/installed_product_win.cpp
  install/content_install_win.cpp
  install/sealed_reading_win.cpp
  install/journal_files_win.cpp
  log/upgrade_log_win.cpp
  ui/msg_dialog_win.cpp
  ui/status_dialog_win.cpp)
target_include_directories(rizezuvu_win PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/res)
# The main product's upgrade code: one text file that the program and the
# fixture packages (tests/helpers/make_fixture_msi.py) both read.
file(STRINGS ${CMAKE_SOURCE_DIR}/product/upgrade_code.txt RIZEZUVU_UPGRADE_CODE LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/product/upgrade_code.txt)
set_source_files_properties(product/installed_product_win.cpp PROPERTIES
  COMPILE_DEFINITIONS "RIZEZUVU_UPGRADE_CODE=\"${RIZEZUVU_UPGRADE_CODE}\"")
# Only KnownDLLs are imported; the common controls, the shell and shlwapi are
# loaded from System32 at run time (platform/system_library_win.h).
# uuid is a static library of interface ids, not a DLL.
target_link_libraries(rizezuvu_win PUBLIC rizezuvu_core user32 gdi32 uuid)
target_compile_options(rizezuvu_win PRIVATE ${PROJECT_WARNINGS})

set(RESOURCE_FILE ${CMAKE_SOURCE_DIR}/res/RIZezuvu.rc)
set_source_files_properties(${RESOURCE_FILE} PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/RIZezuvu.ico;${CMAKE_SOURCE_DIR}/res/RIZezuvu.manifest;${CMAKE_SOURCE_DIR}/res/resource.h;${CMAKE_SOURCE_DIR}/res/version.h")

# The program's own sources, shared by both builds of it below and by its
# tests: all but app/release_build.cpp, which tells a release build.
add_library(rizezuvu_app OBJECT
  app/upgrade_app_win.cpp
  app/upgrade_sequence_win.cpp
  app/status_progress_win.cpp
  app/command_line_win.cpp)
target_link_libraries(rizezuvu_app PUBLIC rizezuvu_win)
target_compile_options(rizezuvu_app PRIVATE ${PROJECT_WARNINGS})

# A release build runs only a package sealed for it (app/release_build.h):
# the release steps in README turn this on; off, an unsealed package runs.
option(RIZEZUVU_RELEASE "Build RIZezuvu.exe as a release: it refuses to run without a seal" OFF)

# One build of the program. What ships has no debug information: it goes to
# NAME.exe.debug beside the program (linked by name, for a debugger). The
# load configuration (DependentLoadFlags), which the linker leaves unset, is
# set last, reading the symbol's address from the debug file.
function(add_rizezuvu_program target release)
  add_executable(${target} WIN32 platform/entry_point_win.cpp app/release_build.cpp
    $<TARGET_OBJECTS:rizezuvu_app> ${RESOURCE_FILE})
  target_link_libraries(${target} PRIVATE rizezuvu_win)
  target_compile_options(${target} PRIVATE ${PROJECT_WARNINGS})
  target_compile_definitions(${target} PRIVATE RIZEZUVU_RELEASE_BUILD=${release})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${MINGW_PREFIX}-objcopy --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${MINGW_PREFIX}-nm $<TARGET_FILE:${target}> > $<TARGET_FILE:${target}>.symbols
    COMMAND ${MINGW_PREFIX}-objcopy --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/set_load_config.py $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.symbols
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

if(RIZEZUVU_RELEASE)
  add_rizezuvu_program(RIZezuvu 1)
else()
  add_rizezuvu_program(RIZezuvu 0)
endif()
# Always a release, whatever RIZEZUVU_RELEASE says: the end-to-end tests run
# it beside RIZezuvu.exe (tests/e2e/test_sealed_package.py).
add_rizezuvu_program(RIZezuvu_release 1)
set_target_properties(RIZezuvu_release PROPERTIES OUTPUT_NAME RIZezuvu-release)

# The benchmarks' floors (tools/benchmark.py).
add_executable(bare_box WIN32 tools/bench/bare_box.cpp)
add_executable(bare_copy tools/bench/bare_copy.cpp)
# Its write-ahead floor takes the journal's batch size from the journal.
target_include_directories(bare_copy PRIVATE ${CMAKE_SOURCE_DIR})
add_executable(required_steps WIN32 tools/bench/required_steps.cpp tools/bench/required_steps.rc)
target_compile_definitions(required_steps PRIVATE "RIZEZUVU_UPGRADE_CODE=\"${RIZEZUVU_UPGRADE_CODE}\"")

include(tests/helpers/helpers.cmake)

include(cmake/gtest.cmake)
add_subdirectory(tests)
