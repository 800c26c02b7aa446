#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (run as root).
# Quick when everything is already there: apt is only called for missing packages.
set -euo pipefail

native_packages=(cmake g++ make googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
                 mingw-w64 mingw-w64-tools g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libwine-dev
                 wine64 xvfb xauth python3 msitools wixl libxml2-utils libxml2-dev libssl-dev libidn2-dev
                 pkg-config openssl osslsigncode)
i386_packages=(wine wine32:i386)

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}
mapfile -t missing < <(missing_packages "${native_packages[@]}")
mapfile -t missing_i386 < <(missing_packages "${i386_packages[@]}")

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi

if [ "${#missing[@]}" -gt 0 ] || [ "${#missing_i386[@]}" -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
    export DEBIAN_FRONTEND=noninteractive
    # A mirror caught mid-sync fails one list; the install goes on with the
    # lists that did arrive and fails by itself if a package is not in them.
    apt-get update -q || { sleep 5; apt-get update -q; } ||
        echo "setup: some package lists could not be refreshed; installing from the others" >&2
    [ "${#missing[@]}" -eq 0 ] || apt-get install -y -q --no-install-recommends "${missing[@]}"
    # 32-bit Wine on its own: where its packages cannot be had (no i386 lists
    # from the mirror), everything else still runs and the 32-bit build and
    # tests count as failed (tools/wine_session.sh says why).
    [ "${#missing_i386[@]}" -eq 0 ] || apt-get install -y -q --no-install-recommends "${missing_i386[@]}" ||
        echo "setup: 32-bit Wine (${missing_i386[*]}) could not be installed" >&2
fi

for tool in cmake g++ clang i686-w64-mingw32-g++-posix i686-w64-mingw32-widl i686-w64-mingw32-windres wine wineserver Xvfb wixl msiinfo msibuild msiextract xmllint openssl osslsigncode; do
    command -v "$tool" >/dev/null || { echo "setup: $tool is still missing" >&2; exit 1; }
done
