# SPDX-License-Identifier: GPL-2.0-or-later
# Another machine's program, run under qemu-user: one scenario against this
# machine's own program, built here beside it by this machine's compiler, and
# what an administrator installs. The GoogleTest suites, which test the same
# code, run in the native and i386 builds.

include(ExternalProject)
ExternalProject_Add(reference_korrin
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/reference
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORRIN_TESTS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target korrin
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

# The machine's ENOSYS, from its own headers: the number that its program
# prints where this machine's prints 38.
separate_arguments(target_flags UNIX_COMMAND "${KORRIN_TARGET_FLAGS}")
file(WRITE ${CMAKE_BINARY_DIR}/enosys.cpp "#include <cerrno>\nENOSYS\n")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${target_flags} -E -P ${CMAKE_BINARY_DIR}/enosys.cpp
    OUTPUT_VARIABLE enosys RESULT_VARIABLE enosys_status)
string(STRIP "${enosys}" enosys)
string(REGEX MATCH "[0-9]+$" enosys "${enosys}")
if(NOT enosys_status EQUAL 0 OR NOT enosys)
    message(FATAL_ERROR "cannot read ENOSYS from ${KORRIN_ARCH}'s headers")
endif()

set(dist ${CMAKE_CURRENT_SOURCE_DIR}/dist)
set(dist_env "KORRIN_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" "QEMU_LD_PREFIX=${KORRIN_QEMU_LD_PREFIX}")
add_test(NAME scenario
    COMMAND ${dist}/scenario.sh $<TARGET_FILE:korrin> ${CMAKE_BINARY_DIR}/reference/korrin ${enosys})
set_tests_properties(scenario PROPERTIES TIMEOUT 300)
add_test(NAME manual_page COMMAND ${dist}/manpage.sh ${PROJECT_SOURCE_DIR}/src/cli/korrin.8 $<TARGET_FILE:korrin>)
add_test(NAME install_staged COMMAND ${dist}/install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(scenario manual_page install_staged PROPERTIES ENVIRONMENT "${dist_env}")
if(KORRIN_STATIC)
    add_test(NAME static_program COMMAND ${dist}/static.sh $<TARGET_FILE:korrin>)
    set(static_env ${dist_env} KORRIN_STRIP=${CMAKE_STRIP})
    if(KORRIN_RUNTIME)
        # What file(1) must call each machine: the processors of the old
        # kernels, not a later ABI's.
        set(machines
            "arm=ARM, EABI5" "m68k=Motorola m68k, 68020" "mips=MSB .* MIPS, MIPS-I " "mipsel=LSB .* MIPS, MIPS-I "
            "powerpc=32-bit MSB .* PowerPC" "alpha=64-bit LSB .* Alpha" "sparc=32-bit MSB .* SPARC, ")
        list(FILTER machines INCLUDE REGEX "^${KORRIN_ARCH}=")
        string(REGEX REPLACE "^[^=]*=" "" machine "${machines}")
        list(APPEND static_env KORRIN_OWN_RUNTIME=1 KORRIN_SIZE_LIMIT=16384 "KORRIN_MACHINE=${machine}"
            KORRIN_OBJDUMP=${CMAKE_OBJDUMP})
        add_test(NAME system_calls COMMAND ${dist}/syscalls.sh $<TARGET_FILE:korrin> ${KORRIN_ARCH} ${KORRIN_QEMU})
        set_tests_properties(system_calls PROPERTIES TIMEOUT 120)

        # The real kernels of these machines, as on i386 (alpha counts in
        # clock ticks of 1/1024 s). Both byte orders of mips boot the same
        # board; 2.2 on alpha, as on i386 and powerpc, keeps the update
        # process flushing.
        set(kernels
            "mipsel|2.4.37.11|ends|30 500 0 0 500 3000 60 20 0"
            "mips|2.4.37.11|ends|30 500 0 0 500 3000 60 20 0"
            "sparc|2.4.37.11|ends|30 500 0 0 500 3000 60 20 0"
            "powerpc|2.2.1|flush|40 500 64 256 15 3000 500 1884 2"
            "arm|2.4.37.11|ends|30 500 0 0 500 3000 60 20 0"
            "alpha|2.4.37.11|ends|30 500 0 0 5120 30720 60 20 0"
            "alpha|2.2.1|flush|40 500 64 256 15 30720 5120 1884 2"
            "m68k|2.4.37.11|ends|30 500 0 0 500 3000 60 20 0")
        list(FILTER kernels INCLUDE REGEX "^${KORRIN_ARCH}\\|")
        if(kernels)
            list(TRANSFORM kernels REPLACE "^[a-z0-9]+\\|" "")
            include(${CMAKE_CURRENT_SOURCE_DIR}/vm/old.cmake)
            korrin_old_kernel_tests(${KORRIN_ARCH} "${kernels}")
            if(KORRIN_ARCH MATCHES "^(powerpc|alpha)$")
                # On their 2.2 only korrin's update process moves data to disk.
                korrin_power_tests(${KORRIN_ARCH} 2.2.1 ${korrin_flushed_cuts})
            endif()
        endif()
    endif()
    set_tests_properties(static_program PROPERTIES ENVIRONMENT "${static_env}")
else()
    add_test(NAME debian_package
        COMMAND ${dist}/deb.sh ${CMAKE_BINARY_DIR} ${korrin_deb_arch} ${KORRIN_SYSCALL_ARCHITECTURES})
    set_tests_properties(debian_package PROPERTIES ENVIRONMENT "${dist_env}")
endif()
