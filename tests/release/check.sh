#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# check.sh DIST VERSION SOURCE: the release in DIST is whole and checks out:
# SHA256SUMS lists every file and sha256sum -c passes; each static archive
# holds one directory with the stripped program, its page, COPYING, and
# README.md with the pages of docs/, root's, and the program runs (under
# qemu-user where it must); each package is for the architecture its name
# says; in the archives and the packages, every link of the documents leads
# to a page, picture and heading that are there; and the source archive holds
# the files of SOURCE that git tracks and builds the same static programs,
# byte for byte, for i386, x86_64 and mips.
set -euo pipefail
. "$(dirname "$0")/../dist/common.sh"
dist=$(cd "$1" && pwd) version=$2 source=$(cd "$3" && pwd)

cd "$dist"
sha256sum --quiet -c SHA256SUMS || fail "sha256sum -c SHA256SUMS"
[ "$(ls | grep -vx SHA256SUMS | sort)" = "$(awk '{print $2}' SHA256SUMS | sort)" ] ||
    fail "SHA256SUMS does not list exactly the files: $(ls | tr '\n' ' ')"

qemu_of() { case $1 in x86_64) ;; powerpc) echo qemu-ppc ;; *) echo "qemu-$1" ;; esac; }
for arch in i386 x86_64 arm m68k mips mipsel powerpc alpha sparc; do
    name=korrin-$version-$arch-static
    [ -f "$name.tar.gz" ] || fail "no $name.tar.gz"
    listing=$(tar -tvzf "$name.tar.gz" | awk '{print $1, $2, $6}')
    want=$({
        printf -- '-rw-r--r-- 0/0 %s\n' "$name/COPYING" "$name/README.md" "$name/korrin.8"
        printf -- '-rwxr-xr-x 0/0 %s\n' "$name/korrin"
        printf -- 'drwxr-xr-x 0/0 %s\n' "$name/docs/"
        for page in "$source"/docs/*.md "$source"/docs/*.svg; do
            printf -- '-rw-r--r-- 0/0 %s\n' "$name/docs/$(basename "$page")"
        done
    } | LC_ALL=C sort -k 3)
    [ "$listing" = "$want" ] || fail "$name.tar.gz holds: $listing"
    tar -xzf "$name.tar.gz" -C "$scratch"
    "$source/dist/doc-links" "$scratch/$name" >"$scratch/links" || fail "$name.tar.gz: $(cat "$scratch/links")"
    file -b "$scratch/$name/korrin" | grep -q 'statically linked, stripped' ||
        fail "$name/korrin: $(file -b "$scratch/$name/korrin")"
    KORRIN_EMULATOR=$(qemu_of $arch)
    [ "$arch" = i386 ] && "$scratch/$name/korrin" -d >/dev/null 2>&1 && KORRIN_EMULATOR=
    export KORRIN_EMULATOR
    expect_help "$scratch/$name/korrin"
done
for arch in amd64 i386 arm64 armel armhf mipsel mips64el ppc64el s390x riscv64; do
    deb=korrin_${version}_$arch.deb
    [ -f "$deb" ] || fail "no $deb"
    [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb: Architecture $(dpkg-deb -f "$deb" Architecture)"
    dpkg-deb -x "$deb" "$scratch/$arch"
    "$source/dist/doc-links" "$scratch/$arch/usr/share/doc/korrin" >"$scratch/links" || fail "$deb: $(cat "$scratch/links")"
done

# The source archive: the tracked files, and the same static programs.
tar -tzf "korrin-$version.tar.gz" | sed "s|^korrin-$version/||" | sort >"$scratch/archived"
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$source" ls-files | LC_ALL=C sort | cmp -s - <(LC_ALL=C sort "$scratch/archived") ||
        fail "the source archive does not hold exactly the tracked files"
fi
tar -xzf "korrin-$version.tar.gz" -C "$scratch"
for build in static=i386 static-native=x86_64 static-mips=mips; do
    preset=${build%%=*} arch=${build#*=}
    (cd "$scratch/korrin-$version" && cmake --preset "$preset" -B "$scratch/$preset" -DKORRIN_TESTS=OFF &&
        cmake --build "$scratch/$preset" --target korrin) >"$scratch/build.log" 2>&1 ||
        fail "the source archive does not build $preset: $(tail -n 20 "$scratch/build.log")"
    . "$scratch/$preset/deb.conf"
    "$STRIP" -o "$scratch/$preset.stripped" "$scratch/$preset/korrin"
    cmp "$scratch/$preset.stripped" "$scratch/korrin-$version-$arch-static/korrin" ||
        fail "the source archive's $preset program differs from the release's"
done
echo "release: $(wc -l <SHA256SUMS) files, all in SHA256SUMS; the documents' links hold in every archive and package; the source archive rebuilds the i386, x86_64 and mips programs byte for byte"
