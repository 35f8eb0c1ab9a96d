# SPDX-License-Identifier: GPL-2.0-or-later
# Installation into the GNU layout, and the Debian package.

include(GNUInstallDirs)

# Debian installs manual pages compressed.
set(korrin_page ${CMAKE_BINARY_DIR}/korrin.8.gz)
add_custom_command(OUTPUT ${korrin_page}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/src/cli/korrin.8 > ${korrin_page}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/cli/korrin.8
    VERBATIM)
add_custom_target(korrin_page ALL DEPENDS ${korrin_page})

install(TARGETS korrin RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(FILES ${korrin_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
# systemd looks for package units under lib/systemd/system of the prefix.
# The unit's system-call filter names the ABI of the program it starts, in
# systemd's words: a 32-bit program runs on a 64-bit kernel too.
set(korrin_systemd_abis
    amd64=native i386=x86 arm64=arm64 armel=arm armhf=arm mipsel=mips-le mips64el=mips64-le
    ppc64el=ppc64-le s390x=s390x riscv64=riscv64)
if(KORRIN_ARCH STREQUAL "native")
    set(KORRIN_SYSCALL_ARCHITECTURES native)
    set(KORRIN_SYSCALL_ARCHITECTURES_WHY "The program makes this machine's own system calls only.")
else()
    list(FILTER korrin_systemd_abis INCLUDE REGEX "^${KORRIN_ARCH}=")
    string(REGEX REPLACE ".*=" "" KORRIN_SYSCALL_ARCHITECTURES "${korrin_systemd_abis}")
    if(NOT KORRIN_SYSCALL_ARCHITECTURES)
        set(KORRIN_SYSCALL_ARCHITECTURES native)
    endif()
    set(KORRIN_SYSCALL_ARCHITECTURES_WHY
        "The ${KORRIN_ARCH} program makes ${KORRIN_SYSCALL_ARCHITECTURES} system calls, on a kernel of a wider ABI too.")
endif()
# ExecStart names the program where it is installed: the unit is made at
# install time, under the prefix of that install (/usr for the packages).
set(KORRIN_SBINDIR @KORRIN_SBINDIR@)
configure_file(${PROJECT_SOURCE_DIR}/dist/korrin.service.in ${CMAKE_BINARY_DIR}/korrin.service.in @ONLY)
install(CODE "
    set(KORRIN_SBINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}\")
    configure_file(\"${CMAKE_BINARY_DIR}/korrin.service.in\" \"${CMAKE_BINARY_DIR}/install/korrin.service\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/install/korrin.service DESTINATION lib/systemd/system)
# The README and the pages it links to, laid out as in the source tree so
# that their links hold. The Debian package carries them as HTML instead
# (dist/make-deb), and leaves this component out.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
file(GLOB korrin_doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.svg)
install(FILES ${korrin_doc_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT doc)

# The licence in Debian's machine-readable form, and the changelog, which
# Debian installs compressed.
set(korrin_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${korrin_changelog}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/dist/changelog > ${korrin_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/dist/changelog
    VERBATIM)
add_custom_target(korrin_changelog ALL DEPENDS ${korrin_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/dist/copyright ${korrin_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The start script for sysvinit goes in the packages only, in /etc/init.d,
# registered but disabled by the package's maintainer scripts; a plain
# install leaves the machine's /etc alone.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/dist/korrin.init DESTINATION /etc/init.d RENAME korrin
    COMPONENT debian EXCLUDE_FROM_ALL)

if(NOT KORRIN_ARCH STREQUAL "native")
    set(korrin_deb_arch ${KORRIN_ARCH})
else()
    execute_process(COMMAND dpkg --print-architecture
        OUTPUT_VARIABLE korrin_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT korrin_deb_arch)
        set(korrin_deb_arch amd64)
    endif()
endif()

set(KORRIN_MAINTAINER "korrin developers <korrin@example.org>" CACHE STRING
    "The Maintainer field of the Debian package")

# The Debian package, made by dist/make-deb rather than CPack, whose archives
# carry the time they were made: cmake --build BUILD --target deb.
if(KORRIN_STATIC)
    set(korrin_deb_depends "")
else()
    # close_range() arrived in glibc 2.34.
    set(korrin_deb_depends "libc6 (>= 2.34)")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/deb.conf
    "ARCH='${korrin_deb_arch}'\nVERSION='${PROJECT_VERSION}'\nMAINTAINER='${KORRIN_MAINTAINER}'\n"
    "DEPENDS='${korrin_deb_depends}'\nSTRIP='${CMAKE_STRIP}'\n")
add_custom_target(deb
    COMMAND ${PROJECT_SOURCE_DIR}/dist/make-deb ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}
    DEPENDS korrin korrin_page korrin_changelog
    VERBATIM)
