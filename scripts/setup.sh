#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine needs to build and test Varnik.
# Idempotent: when everything is present it only checks, in well under a second.
set -eu

packages=(
    cmake ninja-build make g++ clang libclang-rt-14-dev   # native build, sanitizers, libFuzzer
    googletest libbenchmark-dev                           # GoogleTest sources, Google Benchmark
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix   # the two Windows builds
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64     # objdump for the export check
    wine wine64 wine32:i386                               # Windows programs under test, 64- and 32-bit
    xvfb xdotool imagemagick fonts-wine x11-utils         # the edit dialog in a real window
    python3-dbus python3-gi dbus-daemon                   # a fake UDisks2 for Wine's mount manager
)

# One query for all: "name:arch" of each package that is installed.
installed=" $(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' "${packages[@]%:*}" 2>/dev/null |
    sed -n 's/ install ok installed$//p' | tr '\n' ' ')"
missing=()
for p in "${packages[@]}"; do
    case $p in *:*) want=" $p " ;; *) want=" $p:" ;; esac
    [[ $installed == *"$want"* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages: ${missing[*]}; run 'make setup' as root" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from Debian's i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
