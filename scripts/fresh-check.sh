#!/usr/bin/env bash
# fresh-check.sh [--release 12|13]... [--broken-list] [--no-wine32] [--as-user]:
# what a newcomer sees. The commit alone (no ../shared beside it) in a fresh,
# minimal Debian root of each release asked for (12 and 13 by default, one
# after the other), as root inside: `make demo`, then `make test`. Prints
# each command's exit status and time, the set-up step's own lines, CTest's
# summary and why any test was skipped; exits 0 only when every command in
# every release did.
#
#   --release N    Debian N (12: bookworm, 13: trixie); may be given twice
#   --broken-list  a throwaway copy of the apt sources in the root also names
#                  a suite that does not exist, so a package list fails to
#                  update, as on a day the registry is mid-sync
#   --no-wine32    the root's apt refuses 32-bit Wine's library, as on a day
#                  the registry serves no i386 twin of a newer amd64 library
#   --as-user      then, as a normal user in the same root (the packages are
#                  there by now), `make demo` and `make test` on a new copy
#
# Each root comes from the Debian mirrors this machine's apt sources name
# and is made once a day per release ($VARNIK_FRESH_CACHE,
# /var/cache/varnik/fresh). Needs root for the chroot and its mounts, which
# are undone on every path. Downloads about a gigabyte of packages per
# release each run.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
broken_list=false
no_wine32=false
as_user=false
releases=()
usage="usage: fresh-check.sh [--release 12|13]... [--broken-list] [--no-wine32] [--as-user]"
while [ $# -gt 0 ]; do
    case $1 in
    --release)
        case ${2:-} in 12 | 13) releases+=("$2") ;; *) echo "$usage" >&2; exit 2 ;; esac
        shift ;;
    --broken-list) broken_list=true ;;
    --no-wine32) no_wine32=true ;;
    --as-user) as_user=true ;;
    *) echo "$usage" >&2; exit 2 ;;
    esac
    shift
done
[ ${#releases[@]} -gt 0 ] || releases=(12 13)
[ "$(id -u)" = 0 ] || { echo "fresh-check: needs root for the chroot: sudo make fresh-check" >&2; exit 2; }
commit=$(git -C "$root" rev-parse HEAD) || exit 2
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
    echo "fresh-check: uncommitted changes are not part of the commit, and not checked" >&2

if ! command -v mmdebstrap >/dev/null; then
    echo "fresh-check: installing mmdebstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null ||
        { echo "fresh-check: cannot install mmdebstrap" >&2; exit 2; }
fi

# The Debian mirrors this machine's apt sources name (one-line or deb822).
mirror= security=
for uri in $(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
    grep -v '^ *#' | grep -o -E 'https?://[^ ]*debian\.org/[^ ]*'); do
    case $uri in *security*) security=${security:-$uri} ;; *) mirror=${mirror:-$uri} ;; esac
done
[ -n "$mirror" ] || { echo "fresh-check: this machine's apt sources name no Debian mirror" >&2; exit 2; }
security=${security:-http://deb.debian.org/debian-security}
cache=${VARNIK_FRESH_CACHE:-/var/cache/varnik/fresh}
mkdir -p "$cache" || exit 2

# make_root CODENAME: the release's minimal root of the day, as a tarball.
make_root() {
    tarball=$cache/$1-minbase-$(date +%F).tar
    [ -s "$tarball" ] && return 0
    echo "fresh-check: making a minimal $1 root from $mirror and $security"
    rm -f "$cache/$1"-minbase-*.tar
    mmdebstrap --quiet --format=tar --variant=minbase --include=git,make,ca-certificates,sudo "$1" \
        "$tarball.tmp" "deb $mirror $1 main" "deb $mirror $1-updates main" "deb $security $1-security main" &&
        mv "$tarball.tmp" "$tarball" || { rm -f "$tarball.tmp"; echo "fresh-check: mmdebstrap failed" >&2; return 1; }
}

work=
chroot_dir=

# Every process left in the root (a lingering wineserver, a bus), then its
# mounts, then the root itself.
cleanup() {
    local pid
    [ -n "$work" ] || return 0
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$chroot_dir" ] && kill -9 "$pid" 2>/dev/null
    done
    sleep 0.5
    umount -R "$chroot_dir/dev" "$chroot_dir/sys" "$chroot_dir/proc" 2>/dev/null
    if grep -q " $chroot_dir/" /proc/mounts; then
        echo "fresh-check: mounts left under $chroot_dir" >&2
    else
        rm -rf "$work"
    fi
    work=
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# enter_root CODENAME: a fresh copy of the release's root, mounted for a chroot.
enter_root() {
    work=$(mktemp -d /var/tmp/varnik-fresh.XXXXXX) || return 1
    chroot_dir=$work/root
    mkdir -p "$chroot_dir" && tar -xf "$tarball" -C "$chroot_dir" || return 1
    cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
    mount -t proc proc "$chroot_dir/proc" &&
        mount --rbind /sys "$chroot_dir/sys" && mount --make-rslave "$chroot_dir/sys" &&
        mount --rbind /dev "$chroot_dir/dev" && mount --make-rslave "$chroot_dir/dev" || return 1
    if $broken_list; then
        printf 'deb %s %s-no-such-suite main\n' "$mirror" "$1" \
            >"$chroot_dir/etc/apt/sources.list.d/no-such-suite.list"
    fi
    if $no_wine32; then
        printf 'Package: libwine:i386\nPin: version *\nPin-Priority: -1\n' \
            >"$chroot_dir/etc/apt/preferences.d/no-wine32"
    fi
}

# Copies the commit in, with nothing beside it, for USER at DIR.
copy_commit() {
    git clone -q --no-checkout "$root" "$chroot_dir$2" && git -C "$chroot_dir$2" checkout -q "$commit" &&
        chroot "$chroot_dir" chown -R "$1:" "$2"
}

# Runs `make TARGET` in DIR as USER inside the root, logging to LOG; prints
# its status and time.
run_make() {
    local user=$1 dir=$2 target=$3 log=$4 start rc
    start=$(date +%s)
    chroot "$chroot_dir" /usr/bin/env -i HOME="$(chroot "$chroot_dir" getent passwd "$user" | cut -d: -f6)" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb \
        /usr/sbin/runuser -u "$user" -- make -C "$dir" "$target" >"$log" 2>&1
    rc=$?
    printf '%-6s make %-5s exit %d in %d s (log: %s)\n' "$user" "$target" $rc $(($(date +%s) - start)) "$log"
    return $rc
}

# What a newcomer needs from a run: set-up, what the demo ran and what its
# callback saw, the test summary, the tests run or tried again, the skips
# and their reasons.
summarise() {
    grep -E '^(setup|fresh-check): ' "$1" | sed 's/^/    /'
    grep -E '^\(|^ *OnUSB runs:' "$1" | sed 's/^ */    /'
    grep -E 'tests passed|tests failed|Total Test time|The following tests (FAILED|did not run)' "$1" | sed 's/^/    /'
    sed -n '/^ *[0-9]* - .*(\(Failed\|Not Run\|Timeout\|SEGFAULT\|Skipped\|Subprocess\)/p' "$1" | head -n 40 | sed 's/^/    /'
    sed -n '/^\(Run again after Wine itself died\|Tried a step again\|Why tests were skipped\):/,$p' "$1" |
        sed 's/^/    /'
}

check_as() {
    local user=$1 dir=$2 rc=0 logs=$3
    copy_commit "$user" "$dir" || return 1
    run_make "$user" "$dir" demo "$logs/$user-demo.log" || rc=1
    summarise "$logs/$user-demo.log"
    run_make "$user" "$dir" test "$logs/$user-test.log" || rc=1
    summarise "$logs/$user-test.log"
    return $rc
}

# check_release N: Debian N's fresh root, the commit in it, the two commands.
check_release() {
    local codename logs rc=0
    case $1 in 12) codename=bookworm ;; 13) codename=trixie ;; esac
    logs=$cache/last/debian$1
    mkdir -p "$logs" && make_root "$codename" && enter_root "$codename" || { cleanup; return 1; }
    echo "fresh-check: $commit in a fresh Debian $1 ($codename) root ($chroot_dir)"
    check_as root /root/varnik "$logs" || rc=1
    if $as_user; then
        { chroot "$chroot_dir" useradd -m newcomer && check_as newcomer /home/newcomer/varnik "$logs"; } || rc=1
    fi
    cleanup
    return $rc
}

verdicts=() rc=0
for release in "${releases[@]}"; do
    if check_release "$release"; then verdicts+=("Debian $release passed"); else verdicts+=("Debian $release FAILED"); rc=1; fi
done
echo "fresh-check: $([ $rc -eq 0 ] && echo passed || echo FAILED): $(IFS=,; echo "${verdicts[*]}" | sed 's/,/, /g')"
exit $rc
