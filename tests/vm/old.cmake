# SPDX-License-Identifier: GPL-2.0-or-later
# The real old kernels of the shared kernels, booted under QEMU with the
# tests' own init, built on korrin's own runtime for the machine too.
# korrin_old_kernel_tests(MACHINE "VERSION|KIND|VALUES"...): one test a
# kernel: what it does with the flush call (see old-init.cpp) and the
# values its display lists after boot.

add_executable(old_kernel_init ${CMAKE_CURRENT_LIST_DIR}/old-init.cpp)
target_link_libraries(old_kernel_init PRIVATE korrin_flags korrin_freestanding korrin_runtime)

function(korrin_old_kernel_tests machine)
    foreach(kernel ${ARGN})
        string(REPLACE "|" ";" kernel "${kernel}")
        list(GET kernel 0 version)
        list(GET kernel 1 kind)
        list(GET kernel 2 values)
        if(machine STREQUAL "i386")
            set(name vm_linux_${version})
        else()
            set(name vm_linux_${version}_${machine})
        endif()
        add_test(NAME ${name}
            COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/old.sh ${machine} ${version} ${kind} ${values}
                $<TARGET_FILE:old_kernel_init> $<TARGET_FILE:korrin>)
        set_tests_properties(${name} PROPERTIES LABELS vm TIMEOUT 300 SKIP_RETURN_CODE 77)
    endforeach()
endfunction()

# korrin_power_tests(MACHINE VERSION CUT...): power cuts on that kernel, side
# by side (see power.sh for the CUTs).
function(korrin_power_tests machine version)
    set(name durability_linux_${version})
    if(NOT machine STREQUAL "i386")
        set(name ${name}_${machine})
    endif()
    add_test(NAME ${name}
        COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/power.sh ${machine} ${version}
            $<TARGET_FILE:old_kernel_init> $<TARGET_FILE:korrin> ${ARGN})
    set_tests_properties(${name} PROPERTIES LABELS "durability;vm" TIMEOUT 300 SKIP_RETURN_CODE 77)
endfunction()

# The cuts of a kernel that keeps dirty buffers until asked (1.2 to 2.2):
# without korrin a new file is still not on disk after 20 s; with korrin's
# defaults it is whole within 12 s and a file written over within 45 s;
# with a flush every second and both ages at 1 s, both within 5 s.
set(korrin_flushed_cuts "-@20=lost/any" "@12=whole/any" "@45=whole/whole" "-f,1,-5,HZ,-6,HZ@5=whole/whole")
