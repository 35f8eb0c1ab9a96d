# Debian's hardening for the programs built with the C library (what
# dpkg-buildflags gives with hardening=+all): checked string and memory
# functions, stack protection, no writable relocations after start-up, all
# symbols bound at start-up, and position independence where the program is
# dynamic. They go to korrin_flags, so korrin's code and the programs linked
# from it get them.
#
# Not for the static programs on korrin's own runtime, where none of them
# makes sense: the checked functions are glibc's (the runtime has printf of
# its own); the stack protector's canary lives in thread-local storage, which
# Linux before 2.5.29 cannot give; the program is linked at a fixed address
# for the oldest kernels' loaders; and with no dynamic linking there is no
# relocation to protect or bind. Nor for the sanitizer builds, whose checks
# replace the C library's, nor -D_FORTIFY_SOURCE without optimisation, which
# it needs.

if(NOT KORRIN_RUNTIME)
    target_compile_options(korrin_flags INTERFACE
        -fstack-protector-strong -Wformat -Werror=format-security)
    # Not every machine's compiler has stack-clash protection (dpkg-buildflags
    # leaves it out there too).
    include(CheckCXXCompilerFlag)
    check_cxx_compiler_flag("-fstack-clash-protection -Werror" KORRIN_HAVE_STACK_CLASH_PROTECTION)
    if(KORRIN_HAVE_STACK_CLASH_PROTECTION)
        target_compile_options(korrin_flags INTERFACE -fstack-clash-protection)
    endif()
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
        target_compile_options(korrin_flags INTERFACE -fcf-protection)
    endif()
    if(NOT KORRIN_SANITIZE)
        target_compile_options(korrin_flags INTERFACE
            $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
    endif()
    target_link_options(korrin_flags INTERFACE -Wl,-z,relro -Wl,-z,now)
    if(NOT KORRIN_STATIC)
        target_compile_options(korrin_flags INTERFACE -fPIE)
        target_link_options(korrin_flags INTERFACE -pie)
    endif()
endif()
