# SPDX-License-Identifier: GPL-2.0-or-later
# Decides whether this build can be made here, and how its programs are run.
#
# KORRIN_CAN_BUILD: the compiler can build for KORRIN_ARCH.
# CMAKE_CROSSCOMPILING_EMULATOR: set when an i386 program cannot be executed
# by this kernel directly (a kernel without 32-bit emulation, or one that has
# it switched off) and qemu-i386 can run it instead.
# KORRIN_NATIVE_EXEC: i386 programs run directly on this kernel.

include(CheckCXXSourceCompiles)

set(KORRIN_CAN_BUILD ON)
set(KORRIN_NATIVE_EXEC ON)
set(KORRIN_SKIP_REASON "")

if(KORRIN_ARCH STREQUAL "i386")
    set(CMAKE_REQUIRED_FLAGS -m32)
    set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
    check_cxx_source_compiles("#include <cstdio>\nint main() { std::puts(\"\"); }" KORRIN_HAVE_M32)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(NOT KORRIN_HAVE_M32)
        set(KORRIN_CAN_BUILD OFF)
        set(KORRIN_SKIP_REASON "no 32-bit toolchain (install g++-multilib)")
    else()
        add_compile_options(-m32)
        add_link_options(-m32)
        try_run(KORRIN_I386_RUNS KORRIN_I386_BUILDS
            ${CMAKE_BINARY_DIR}/probe ${CMAKE_SOURCE_DIR}/cmake/probe.cpp
            COMPILE_DEFINITIONS -m32
            LINK_OPTIONS -m32)
        if(NOT KORRIN_I386_RUNS EQUAL 0)
            set(KORRIN_NATIVE_EXEC OFF)
            find_program(KORRIN_QEMU_I386 qemu-i386)
            if(KORRIN_QEMU_I386)
                set(CMAKE_CROSSCOMPILING_EMULATOR ${KORRIN_QEMU_I386})
                message(STATUS "This kernel does not execute i386 programs; running them under ${KORRIN_QEMU_I386}")
            else()
                set(KORRIN_CAN_BUILD OFF)
                set(KORRIN_SKIP_REASON "this kernel does not execute i386 programs and qemu-i386 is missing (install qemu-user)")
            endif()
        endif()
    endif()
elseif(NOT KORRIN_ARCH STREQUAL "native")
    message(FATAL_ERROR "KORRIN_ARCH must be native or i386, not ${KORRIN_ARCH}")
endif()

if(NOT KORRIN_CAN_BUILD)
    message(STATUS "SKIPPED: the ${KORRIN_ARCH} build and its tests: ${KORRIN_SKIP_REASON}")
    # One test that ctest reports as skipped, so the gap is visible in its summary.
    enable_testing()
    add_test(NAME ${KORRIN_ARCH}-build-skipped
        COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED: ${KORRIN_SKIP_REASON}")
    set_tests_properties(${KORRIN_ARCH}-build-skipped PROPERTIES
        PASS_REGULAR_EXPRESSION "^$" SKIP_REGULAR_EXPRESSION "SKIPPED")
endif()
