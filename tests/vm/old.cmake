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

# korrin_power_tests(MACHINE VERSION CUT... [SUFFIX NAME] [ENVIRONMENT
# VAR=VALUE... CUTS CUT...]): power cuts on that kernel, side by side (see
# power.sh for the CUTs and the variables).
function(korrin_power_tests machine version)
    cmake_parse_arguments(PARSE_ARGV 2 power "" "SUFFIX" "ENVIRONMENT;CUTS")
    list(APPEND power_UNPARSED_ARGUMENTS ${power_CUTS})
    set(name durability_linux_${version})
    if(NOT machine STREQUAL "i386")
        set(name ${name}_${machine})
    endif()
    if(power_SUFFIX)
        set(name ${name}_${power_SUFFIX})
    endif()
    add_test(NAME ${name}
        COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/power.sh ${machine} ${version}
            $<TARGET_FILE:old_kernel_init> $<TARGET_FILE:korrin> ${power_UNPARSED_ARGUMENTS})
    set_tests_properties(${name} PROPERTIES LABELS "durability;vm" TIMEOUT 300 SKIP_RETURN_CODE 77
        ENVIRONMENT "${power_ENVIRONMENT}")
endfunction()

# The cuts of a kernel that keeps dirty buffers until asked (1.2 to 2.2):
# without korrin a new file is still not on disk after 20 s; with korrin's
# defaults it is whole within 12 s and a file written over within 45 s;
# with a flush every second and both ages at 1 s, both within 5 s.
set(korrin_flushed_cuts "-@20=lost/any" "@12=whole/any" "@45=whole/whole" "-f,1,-5,HZ,-6,HZ@5=whole/whole")

# korrin wakes no idle disk: once the first flush has passed, a data disk
# that nothing writes to receives nothing for a minute, with the defaults
# and with a flush a second and both ages at a second. A write there would
# keep a laptop disk spinning and wear a flash card for nothing.
set(korrin_idle_cuts "idle:@10+60<=0" "idle:-f,1,-5,HZ,-6,HZ@10+60<=0")
