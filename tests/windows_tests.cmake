# Tests that need Windows: run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.

# Installer packages and stand-ins for the product probe's tests.
set(FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
set(FIXTURE_BUILDER ${CMAKE_SOURCE_DIR}/tests/helpers/make_fixture_msi.py)
set(FIXTURE_MSIS)
foreach(spec "orvexa-1.6.12-a.msi|1.6.12|OrvexaA|backslash"
             "orvexa-1.6.12-b.msi|1.6.12|OrvexaB|backslash"
             "orvexa-plain.msi|1.6.12|OrvexaPlain|plain")
  string(REPLACE "|" ";" fields ${spec})
  list(GET fields 0 name)
  list(GET fields 1 version)
  list(GET fields 2 folder)
  list(GET fields 3 location)
  add_custom_command(OUTPUT ${FIXTURE_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FIXTURE_DIR}
    COMMAND python3 ${FIXTURE_BUILDER} --out ${FIXTURE_DIR}/${name} --version ${version}
            --folder ${folder} --location ${location} --standin $<TARGET_FILE:orvexa_standin>
    DEPENDS ${FIXTURE_BUILDER} orvexa_standin ${CMAKE_SOURCE_DIR}/product/upgrade_code.txt
    VERBATIM)
  list(APPEND FIXTURE_MSIS ${FIXTURE_DIR}/${name})
endforeach()
add_custom_command(OUTPUT ${FIXTURE_DIR}/orvexa_standin.exe
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FIXTURE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:orvexa_standin> ${FIXTURE_DIR}/orvexa_standin.exe
  DEPENDS orvexa_standin)
add_custom_target(test_fixtures ALL DEPENDS ${FIXTURE_MSIS} ${FIXTURE_DIR}/orvexa_standin.exe)

add_library(win_test_support STATIC win/test_support.cpp)
target_link_libraries(win_test_support PUBLIC gtest_project)
target_compile_options(win_test_support PRIVATE ${PROJECT_WARNINGS})

function(add_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE rizezuvu_win win_test_support gtest_project)
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

add_windows_test(upgrade_log_tests win/upgrade_log_test.cpp)
add_windows_test(update_context_tests win/update_context_test.cpp)
add_windows_test(content_copy_tests win/content_copy_test.cpp)
add_windows_test(private_folder_tests win/private_folder_test.cpp)
add_windows_test(installed_product_tests win/installed_product_test.cpp)
add_dependencies(installed_product_tests test_fixtures)
# Tests that install into the prefix's one Windows Installer registry, start
# Orvexa.exe stand-ins or put a log at the drive root must not overlap.
set_tests_properties(installed_product_tests upgrade_log_tests PROPERTIES RESOURCE_LOCK installer)

add_windows_test(resource_tests win/resource_test.cpp)
target_compile_definitions(resource_tests PRIVATE
  RIZEZUVU_EXE_NAME="$<TARGET_FILE_NAME:RIZezuvu>")
target_link_libraries(resource_tests PRIVATE version)
add_dependencies(resource_tests RIZezuvu)

# The image itself: static, hardened.
add_test(NAME image_checks
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check_image.sh $<TARGET_FILE:RIZezuvu> ${MINGW_PREFIX}-objdump)
add_test(NAME image_checks_release
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check_image.sh $<TARGET_FILE:RIZezuvu_release> ${MINGW_PREFIX}-objdump)
set_tests_properties(image_checks image_checks_release PROPERTIES TIMEOUT 60)

# Authenticode signing with a throw-away certificate; the signed program runs.
add_test(NAME signing COMMAND ${CMAKE_SOURCE_DIR}/tests/check_signing.sh $<TARGET_FILE:RIZezuvu> $<TARGET_FILE:ovpack>)
set_tests_properties(signing PROPERTIES TIMEOUT 120)

# End to end: the real program under Wine, driven by uidriver.
add_test(NAME end_to_end COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run_suites.sh ${CMAKE_BINARY_DIR})
set_tests_properties(end_to_end PROPERTIES TIMEOUT 900 RESOURCE_LOCK installer
  ENVIRONMENT "RIZEZUVU_BUILD=${CMAKE_BINARY_DIR};RIZEZUVU_SOURCE=${CMAKE_SOURCE_DIR}")

add_windows_test(upgrade_app_tests win/upgrade_app_test.cpp
  $<TARGET_OBJECTS:rizezuvu_app> ${CMAKE_SOURCE_DIR}/app/release_build.cpp ${RESOURCE_FILE})
target_compile_definitions(upgrade_app_tests PRIVATE RIZEZUVU_RELEASE_BUILD=0)
