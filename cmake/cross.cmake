# SPDX-License-Identifier: GPL-2.0-or-later
# Cross-building with Debian's cross compilers (g++-<triple>). Each preset
# names its machine in three cache variables, and nothing else differs:
#
# KORRIN_TARGET: the GNU triple of the compiler, binutils and C library.
# KORRIN_TARGET_FLAGS: flags for a machine other than the compiler's default
#   (32-bit SPARC from the sparc64 compiler, MIPS I, the 68020).
# KORRIN_QEMU: the qemu-user program that runs it where this kernel cannot.

set(CMAKE_SYSTEM_NAME Linux)
if(NOT KORRIN_TARGET)
    message(FATAL_ERROR "cross.cmake needs KORRIN_TARGET, a GNU triple such as aarch64-linux-gnu")
endif()
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${KORRIN_TARGET}")

find_program(KORRIN_CROSS_CXX ${KORRIN_TARGET}-g++)
if(NOT KORRIN_CROSS_CXX)
    message(FATAL_ERROR "${KORRIN_TARGET}-g++ is missing: install g++-${KORRIN_TARGET} (tests/install-deps does)")
endif()
set(CMAKE_CXX_COMPILER ${KORRIN_CROSS_CXX})
set(CMAKE_CXX_FLAGS_INIT "${KORRIN_TARGET_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KORRIN_TARGET_FLAGS}")

# The target's headers and libraries, never the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${KORRIN_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# try_compile reads this file again, with these.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORRIN_TARGET KORRIN_TARGET_FLAGS KORRIN_QEMU)
