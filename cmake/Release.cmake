# SPDX-License-Identifier: GPL-2.0-or-later
# The release (cmake --workflow --preset release): every program and package
# this machine can make, each from its own preset in a build of its own under
# this one, then their archives and SHA256SUMS in dist/ (dist/make-release).
# The same commit gives the same bytes wherever, whenever and by whomever it
# is built.

include(ExternalProject)

# Debian's architectures (a package each), then the static programs on
# korrin's own runtime (an archive each), named as the archives name them.
set(korrin_release_packages default i386 arm64 armel armhf mipsel mips64el ppc64el s390x riscv64)
set(korrin_release_statics
    static=i386 static-native=x86_64 static-arm=arm static-m68k=m68k static-mips=mips
    static-mipsel=mipsel static-powerpc=powerpc static-alpha=alpha static-sparc=sparc)

set(builds "")
set(steps "")
foreach(entry IN LISTS korrin_release_packages korrin_release_statics)
    string(REGEX REPLACE "=.*" "" preset "${entry}")
    set(target build)
    if(entry MATCHES "=")
        set(target korrin)
    else()
        set(target deb)
    endif()
    ExternalProject_Add(release_${preset}
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/${preset}
        CONFIGURE_COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} --preset ${preset} -B ${CMAKE_BINARY_DIR}/${preset}
            -DKORRIN_TESTS=OFF -DKORRIN_EMULATE=OFF
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR}/${preset} --target ${target}
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON
        LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)
    list(APPEND steps release_${preset})
    list(APPEND builds "${entry}")
endforeach()

add_custom_target(dist ALL
    COMMAND ${PROJECT_SOURCE_DIR}/dist/make-release ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
        ${builds}
    DEPENDS ${steps}
    VERBATIM)

enable_testing()
add_test(NAME release COMMAND ${PROJECT_SOURCE_DIR}/tests/release/check.sh ${CMAKE_BINARY_DIR}/dist ${PROJECT_VERSION}
    ${PROJECT_SOURCE_DIR})
set_tests_properties(release PROPERTIES TIMEOUT 600)
