# The programs the tests run besides RIZezuvu: the automation driver, the
# stand-ins for Orvexa and for other programs, and the dialog viewer. Included
# from cmake/windows.cmake, so that they land in the build folder's top.
set(HELPERS ${CMAKE_SOURCE_DIR}/tests/helpers)

# The driver, and the two small programs the end-to-end harness runs beside
# it: the system's text for an error code, and a file held open for writing.
add_executable(uidriver ${HELPERS}/uidriver.cpp)
target_link_libraries(uidriver PRIVATE user32 shell32)
add_executable(error_text ${HELPERS}/error_text.cpp)
add_executable(hold_file ${HELPERS}/hold_file.cpp)
add_dependencies(uidriver error_text hold_file)

# The idle Orvexa.exe of the fixture packages, the marker a configured link
# opens, and the hidden window that keeps Wine's desktop up.
add_executable(orvexa_standin WIN32 ${HELPERS}/orvexa_standin.cpp)
add_executable(link_marker WIN32 ${HELPERS}/link_marker.cpp)
add_executable(keep_desktop WIN32 ${HELPERS}/keep_desktop.cpp)

# A DLL planted in the package folder, which must never be loaded
# (tests/e2e/test_hardening.py).
add_library(planted_dll SHARED ${HELPERS}/planted_dll.cpp)

# What another program holds while an update runs: a file it keeps open or
# a DLL it keeps loaded (tests/e2e/test_write_safety.py).
add_executable(hold_open ${HELPERS}/hold_open.cpp)
add_library(inert_dll SHARED ${HELPERS}/inert_dll.cpp)

foreach(dll planted_dll inert_dll)
  set_target_properties(${dll} PROPERTIES PREFIX "")
  target_link_options(${dll} PRIVATE -static-libgcc)
endforeach()

# The program's two dialogs, opened alone with a message table.
add_executable(dialog_viewer WIN32 ${HELPERS}/dialog_viewer.cpp ${RESOURCE_FILE})
target_link_libraries(dialog_viewer PRIVATE rizezuvu_win)

foreach(helper uidriver error_text hold_file orvexa_standin link_marker keep_desktop planted_dll
               hold_open inert_dll dialog_viewer)
  target_compile_options(${helper} PRIVATE ${PROJECT_WARNINGS})
endforeach()
