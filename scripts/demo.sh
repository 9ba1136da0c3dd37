#!/usr/bin/env bash
# The main job: loads the built plug-in in varnik-host (its `demo`), shows
# what it registers, and runs a watch in which a (fake) USB stick is plugged in and
# taken out through Wine's own mount manager, so the events are the ones the
# system raises. Uses the 32-bit product where this machine runs 32-bit
# Windows programs, otherwise its x86-64 twin; without the fake UDisks2's
# prerequisites the demo sends the events to its own watcher window instead.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
. "$root/scripts/wine-env.sh"
arch=win32
if ! varnik_runs_32bit; then
    echo "($(varnik_no_32bit_reason); showing the x86-64 twin)"
    arch=win64
fi
# Only what the demo runs: the plug-in and varnik-host, of one build.
(cd "$root" && cmake --preset $arch >/dev/null && cmake --build --preset $arch --target varnik varnik-host) || exit 1
host=$root/build/$arch/varnik-host.exe
plugin=Z:$root/dist/$arch/varnik.nbp

"$root/scripts/fake-udisks2/with-fake-udisks2" --timeout 100 "$host" demo "$plugin" --mount-manager
rc=$?
if [ $rc -eq 77 ]; then
    echo "(no fake UDisks2 here: the demo sends the stick's events to its own watcher window)"
    "$root/scripts/wine-run" "$host" demo "$plugin"
    rc=$?
fi
exit $rc
