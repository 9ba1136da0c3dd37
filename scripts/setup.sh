#!/usr/bin/env bash
# setup.sh [--for-build]: installs what a fresh Debian 12 or 13 machine
# needs to build and test Varnik. Idempotent: when everything is present it
# only checks, in well under a second. Packages are chosen by what the
# running release serves (the clang runtime that matches its default clang,
# its own codename), so no release's version is written in here. On any
# other system it says what it was tested on and what it needs, then tries.
#
# The package registry can be partly out of sync on any day (a mirror mid-
# sync). A package list that fails to update is retried, then taken as a
# warning; 32-bit Wine that does not resolve is tried again with the
# release's own versions, and where it still cannot be had everything else is
# installed: the x86-64 lane runs and the 32-bit tests say why they skip.
# Anything else that cannot be installed fails, naming the package.
#
# --for-build (the build targets): 32-bit Wine that could not be installed
# earlier today is not tried again on every build; `make setup` tries again.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
. "$root/scripts/wine-env.sh"

required=(
    cmake ninja-build make g++ clang                      # native build (+ clang's runtime, below)
    googletest libbenchmark-dev                           # GoogleTest sources, Google Benchmark
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix   # the two Windows builds
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64     # objdump, objcopy: export check, packaging
    wine wine64                                           # Windows programs under test, 64-bit
    xvfb xdotool imagemagick fonts-wine x11-utils         # the edit dialog in a real window
    python3-dbus python3-gi dbus-daemon                   # a fake UDisks2 for Wine's mount manager
    python3 unzip git                                     # packaging and its check
    python3-pefile                                        # the DLL's import and export tables
    cmark-gfm                                             # the authors' guide as a page
)
wine32=wine32:i386                                        # the 32-bit product under Wine
. /etc/os-release 2>/dev/null
release="Debian ${VERSION_ID:-?} (${VERSION_CODENAME:-no codename})"
case ${ID:-}:${VERSION_ID:-} in debian:12 | debian:13) supported=true ;; *) supported=false ;; esac

# The sanitizer and libFuzzer runtime of the release's default clang: clang
# depends on clang-N, whose runtime is libclang-rt-N-dev. Asked of clang as
# installed, else of the package lists; empty until one of them knows clang.
clang_runtime() {
    { dpkg-query -W -f='${Depends}\n' clang 2>/dev/null | tr ',' '\n'
      apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: //p'; } |
        sed -n 's/^ *clang-\([0-9][0-9]*\)\( .*\)\{0,1\}$/libclang-rt-\1-dev/p' | head -n1
}

# Prints the packages of "$@" that are not installed ("name:arch" for a
# foreign architecture), one query for all.
missing_of() {
    local installed p want
    installed=" $(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' "${@%:*}" 2>/dev/null |
        sed -n 's/ install ok installed$//p' | tr '\n' ' ')"
    for p in "$@"; do
        case $p in *:*) want=" $p " ;; *) want=" $p:" ;; esac
        [[ $installed == *"$want"* ]] || echo "$p"
    done
}

# apt's reason for a failed install, in one short line: the first unmet
# dependency, or else its last error.
apt_reason() {
    local unmet verdict
    unmet=$(grep -m1 -E '^ *[^ ]+ : (Pre)?(Depends|Breaks|Conflicts):' <<<"$1" | tr -s ' ' | sed 's/^ //')
    verdict=$(grep -E '^E: ' <<<"$1" | tail -n1 | sed 's/^E: //; s/\.$//')
    echo "${unmet:-${verdict:-$(tail -n1 <<<"$1")}}"
}

# The lists that failed to update, each as "suite/component arch: why", or
# "suite: no Release file" for a suite the registry does not have.
update_failures() {
    {
        sed -n 's|^E: Failed to fetch [a-z]*://[^ ]*/dists/\([^ ]*\)/binary-\([^/ ]*\)/[^ ]* *\(.*\)$|\1 \2: \3|p' <<<"$1" |
            sed 's/ \[IP: [^]]*\]$//'
        sed -n "s|^E: The repository '[^ ]* \\([^ ']*\\).*' does not have a Release file.*|\\1: no Release file|p" <<<"$1"
    } | paste -sd ';' | sed 's/;/; /g'
}

apt_install() {
    apt-get install -y -q --no-install-recommends "$@" 2>&1
}

if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
    echo "setup: tested on Debian 12 and 13; this system has no apt-get: install by hand what these Debian" \
        "packages hold, then run the two commands again: ${required[*]} $wine32 and clang's runtime" \
        "(libclang-rt-N-dev for clang N)" >&2
    exit 1
fi
runtime=$(clang_runtime)
mapfile -t missing < <(missing_of "${required[@]}" ${runtime:+"$runtime"})
mapfile -t missing32 < <(missing_of "$wine32")
[ -n "$runtime" ] && [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ] &&
    { rm -f "$VARNIK_WINE32_MISSING" 2>/dev/null; exit 0; }
$supported || echo "setup: tested on Debian 12 (bookworm) and 13 (trixie); this is ${PRETTY_NAME:-$release}," \
    "and set-up needs apt-get, Debian's package names and the i386 architecture for 32-bit Wine: trying anyway" >&2

# 32-bit Wine alone missing: the x86-64 lane runs. A build does not try
# again what failed today, and a normal user cannot install it anyway.
if [ -n "$runtime" ] && [ ${#missing[@]} -eq 0 ]; then
    if [ "${1:-}" = --for-build ] && [ -n "$(find "$VARNIK_WINE32_MISSING" -newermt 'today 00:00' 2>/dev/null)" ]; then
        echo "setup: $(cat "$VARNIK_WINE32_MISSING")" >&2
        exit 0
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "setup: 32-bit Wine ($wine32) is not installed: only the x86-64 twin runs; run 'sudo make setup' to install it" >&2
        exit 0
    fi
fi
if [ "$(id -u)" != 0 ]; then
    [ -n "$runtime" ] || missing+=("the runtime of the default clang (libclang-rt-N-dev)")
    echo "setup: missing packages: ${missing[*]} ${missing32[*]}; run 'sudo make setup' (it installs them as root)" >&2
    exit 1
fi

later=; [ -n "$runtime" ] || later=" and the default clang's runtime"
echo "setup: installing ${missing[*]} ${missing32[*]}$later"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from Debian's i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386

listwhy=
for wait in 5 10 0; do
    out=$(apt-get update -q 2>&1) && { listwhy=; break; }
    listwhy=$(update_failures "$out")
    listwhy=${listwhy:-$(apt_reason "$out")}
    [ $wait -gt 0 ] || break
    echo "setup: the package lists did not update ($listwhy); again in $wait s" >&2
    sleep $wait
done
[ -n "$listwhy" ] && echo "setup: warning: installing from the package lists as they are; these did not update: $listwhy" >&2
if [ -z "$runtime" ]; then
    runtime=$(clang_runtime)
    [ -n "$runtime" ] || { echo "setup: the package lists of $release have no clang: cannot tell which" \
        "sanitizer runtime (libclang-rt-N-dev) to install${listwhy:+ (lists not updated: $listwhy)}" >&2; exit 1; }
    missing+=($(missing_of "$runtime"))
fi

# 32-bit Wine goes in the same transaction as the rest: an amd64 library
# installed first at a newer version than its i386 twin's list holds would
# block it. Where it does not resolve, the release's own versions may.
if [ ${#missing32[@]} -gt 0 ]; then
    out=$(apt_install "${missing[@]}" "$wine32") ||
        { [ -n "${VERSION_CODENAME:-}" ] && out=$(apt_install -t "$VERSION_CODENAME" "${missing[@]}" "$wine32"); }
    if [ $? -eq 0 ]; then
        rm -f "$VARNIK_WINE32_MISSING"
        echo "setup: done"
        exit 0
    fi
    why="32-bit Wine ($wine32) cannot be installed today: $(apt_reason "$out")"
    [ -n "$listwhy" ] && why+=" (package lists not updated: $listwhy)"
    why+="; run 'sudo make setup' again once the registry has caught up"
fi

if [ ${#missing[@]} -gt 0 ] && ! out=$(apt_install "${missing[@]}"); then
    # Name each package that cannot be had, with apt's reason.
    named=0
    for p in "${missing[@]}"; do
        one=$(apt-get install -s --no-install-recommends "$p" 2>&1) && continue
        echo "setup: cannot install $p: $(apt_reason "$one")" >&2
        named=1
    done
    [ $named -eq 1 ] || echo "setup: cannot install ${missing[*]}: $(apt_reason "$out")" >&2
    exit 1
fi

if [ ${#missing32[@]} -gt 0 ]; then
    mkdir -p "$(dirname "$VARNIK_WINE32_MISSING")" && echo "$why" >"$VARNIK_WINE32_MISSING"
    echo "setup: $why; everything else is installed, and the x86-64 twin runs" >&2
    exit 0
fi
rm -f "$VARNIK_WINE32_MISSING"
echo "setup: done"
