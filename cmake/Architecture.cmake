# SPDX-License-Identifier: GPL-2.0-or-later
# Decides how this build's programs are run.
#
# KORRIN_ARCH: native, or the Debian architecture (i386, arm64, ...) or old
# port (arm, m68k, ...) that a cross preset builds for (cmake/cross.cmake).
# KORRIN_NATIVE_EXEC: this kernel executes the build's programs itself.
# CMAKE_CROSSCOMPILING_EMULATOR: qemu-user, where it does not (an i386
# program on a kernel without 32-bit emulation, any other machine's).
# KORRIN_QEMU_LD_PREFIX: where qemu-user finds the target's dynamic loader
# and C library (QEMU_LD_PREFIX); the i386 ones are also the machine's own.

set(KORRIN_NATIVE_EXEC ON)
set(KORRIN_QEMU_LD_PREFIX "")

if(NOT KORRIN_ARCH STREQUAL "native")
    if(NOT CMAKE_CROSSCOMPILING)
        message(FATAL_ERROR "KORRIN_ARCH=${KORRIN_ARCH} is built with a cross compiler: use its preset, or -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake with KORRIN_TARGET")
    endif()
    try_compile(KORRIN_PROBE_BUILDS ${CMAKE_BINARY_DIR}/probe-build ${CMAKE_SOURCE_DIR}/cmake/probe.cpp
        COPY_FILE ${CMAKE_BINARY_DIR}/probe)
    if(NOT KORRIN_PROBE_BUILDS)
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} cannot build a program for ${KORRIN_ARCH}")
    endif()
    set(KORRIN_EMULATE OFF CACHE BOOL "Run the programs under qemu-user even where this kernel executes them")
    if(KORRIN_EMULATE)
        set(probe_status "emulated on request")
    else()
        execute_process(COMMAND ${CMAKE_BINARY_DIR}/probe RESULT_VARIABLE probe_status OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(NOT probe_status STREQUAL "0")
        set(KORRIN_NATIVE_EXEC OFF)
        find_program(KORRIN_QEMU_PROGRAM qemu-${KORRIN_QEMU})
        if(NOT KORRIN_QEMU_PROGRAM)
            message(FATAL_ERROR "this kernel does not execute ${KORRIN_ARCH} programs and qemu-${KORRIN_QEMU} is missing (install qemu-user)")
        endif()
        set(CMAKE_CROSSCOMPILING_EMULATOR ${KORRIN_QEMU_PROGRAM})
        set(KORRIN_QEMU_LD_PREFIX /usr/${KORRIN_TARGET})
        message(STATUS "This kernel does not execute ${KORRIN_ARCH} programs; running them under ${KORRIN_QEMU_PROGRAM}")
    endif()
endif()
