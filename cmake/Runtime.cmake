# SPDX-License-Identifier: GPL-2.0-or-later
# korrin's own runtime in place of the C library, for a static program that
# starts on every Linux from 1.2 on (src/runtime/).
#
# KORRIN_RUNTIME: this static build links korrin with it (i386, x86_64 and
# the old ports: arm, m68k, mips, mipsel, powerpc, alpha and sparc; on
# Debian's other architectures a static program is linked with the C
# library).
# korrin_freestanding_program(TARGET SOURCES...): korrin's code with these
# sources, linked with the runtime and nothing else.

set(korrin_runtime_engines
    src/runtime/errors.cpp
    src/runtime/format.cpp
    src/runtime/getopt.cpp
    src/runtime/strtol.cpp)

set(KORRIN_RUNTIME OFF)
if(KORRIN_STATIC AND NOT KORRIN_SANITIZE AND NOT KORRIN_FUZZ)
    if(KORRIN_ARCH MATCHES "^(i386|arm|m68k|mips|mipsel|powerpc|alpha|sparc)$"
            OR (KORRIN_ARCH STREQUAL "native" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$"))
        set(KORRIN_RUNTIME ON)
    else()
        message(STATUS "korrin's runtime has no ${KORRIN_ARCH} header; the static program is linked with the C library")
    endif()
endif()

if(KORRIN_RUNTIME)
    add_library(korrin_freestanding INTERFACE)
    # No builtins, so that printf stays printf; no canary, which would need
    # thread-local storage; no unwinding tables, no position independence,
    # nothing run before main. Small over fast: the program mostly sleeps.
    target_compile_options(korrin_freestanding INTERFACE
        -Os -fno-builtin -fno-stack-protector -fcf-protection=none -fno-pie
        -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-threadsafe-statics -fno-ident
        -ffunction-sections -fdata-sections -U_FORTIFY_SOURCE)
    target_compile_definitions(korrin_freestanding INTERFACE KORRIN_OWN_RUNTIME)
    if(KORRIN_ARCH STREQUAL "i386")
        # The machines Linux 1.2 ran on.
        target_compile_options(korrin_freestanding INTERFACE -march=i386 -mtune=generic)
    elseif(KORRIN_ARCH MATCHES "^mips")
        # A plain static program: no position-independent calls through $t9.
        target_compile_options(korrin_freestanding INTERFACE -mno-abicalls -fno-pic)
    endif()
    # One read-only and one writable segment, packed: old kernels load plain
    # PT_LOAD segments and nothing else is needed.
    target_link_options(korrin_freestanding INTERFACE
        -nostdlib -static -no-pie -Wl,--entry=_start -Wl,--gc-sections -Wl,-z,noseparate-code -Wl,-z,norelro
        -Wl,-z,noexecstack -Wl,--build-id=none -Wl,--no-undefined
        -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/no-unwind.ld)


    add_library(korrin_runtime STATIC ${korrin_runtime_engines} src/runtime/libc.cpp src/runtime/stdio.cpp)
    # libgcc: what the compiler calls for arithmetic the machine lacks.
    target_link_libraries(korrin_runtime PRIVATE korrin_flags korrin_freestanding gcc)
    target_include_directories(korrin_runtime PUBLIC src)

    function(korrin_freestanding_program target)
        list(TRANSFORM korrin_sources PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
        add_executable(${target} ${ARGN} ${sources})
        target_link_libraries(${target} PRIVATE korrin_flags korrin_freestanding korrin_runtime)
        # Anything run before main would never run: there is no such list.
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND sh -c "! readelf -SW \"$1\" | grep -qE '\\\\.(init_array|ctors|preinit_array|tbss|tdata) '" -- $<TARGET_FILE:${target}>
            VERBATIM)
    endfunction()
endif()
