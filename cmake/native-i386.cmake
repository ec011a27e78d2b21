# Builds the logic that needs no operating system, and its tests, as 32-bit
# x86 Linux programs (clang for i686 with Debian's multilib libraries),
# linked statically and run under qemu-i386-static. This kernel starts no
# 32-bit programs, so without it the 32-bit sizes (size_t, long, pointers)
# would only ever be compiled by the i686 MinGW build, never run.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
# The target goes on every compile and link line (flags set by hand can't
# drop it); clang finds the multilib's 32-bit libraries for it.
set(CMAKE_C_COMPILER_TARGET i686-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET i686-linux-gnu)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The sanitizer runtimes don't link statically: UBSan's checks trap instead
# (an illegal instruction, which qemu reports as signal 4) and need no
# runtime. AddressSanitizer has no such mode; the 64-bit build keeps it.
set(RIZEZUVU_SANITIZE_FLAGS -fsanitize=undefined -fsanitize-undefined-trap-on-error
    -fno-omit-frame-pointer)

# Tests run under the qemu user emulator named here, never through a binfmt
# handler; tools/setup.sh unpacks it from Debian's qemu-user-static package.
set(RIZEZUVU_QEMU_I386 ${CMAKE_CURRENT_LIST_DIR}/../third_party/qemu/qemu-i386-static)
get_filename_component(RIZEZUVU_QEMU_I386 ${RIZEZUVU_QEMU_I386} ABSOLUTE)
if(NOT EXISTS ${RIZEZUVU_QEMU_I386})
  message(FATAL_ERROR "qemu-i386-static missing at ${RIZEZUVU_QEMU_I386}: run tools/setup.sh")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${RIZEZUVU_QEMU_I386})
