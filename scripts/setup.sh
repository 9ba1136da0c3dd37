#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine needs to build and test Varnik.
# Idempotent: when everything is present it only checks, in well under a second.
set -eu

packages=(
    cmake ninja-build make g++ clang libclang-rt-14-dev   # native build, sanitizers, libFuzzer
    googletest libbenchmark-dev                           # GoogleTest sources, Google Benchmark
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix   # the two Windows builds
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64     # objdump for the export check
    wine wine64                                           # Windows programs under test
    xvfb xdotool imagemagick fonts-wine x11-utils         # the edit dialog in a real window
    python3-dbus python3-gi dbus-daemon                   # a fake UDisks2 for Wine's mount manager
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages: ${missing[*]}; run 'make setup' as root" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
