#!/usr/bin/env bash
# The main job: loads the built plug-in in the test host and shows what it
# registers. Uses the 32-bit product where this machine runs 32-bit Windows
# programs, otherwise its x86-64 twin.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
run() {  # run ARCH: the test host of that build on that build's plug-in
    "$root/tools/wine-run" "$root/build/$1/varnik-testhost.exe" "Z:$root/dist/$1/varnik.nbp"
}
run win32
rc=$?
if [ $rc -eq 77 ]; then
    echo "(32-bit Windows programs cannot run here: showing the x86-64 twin)"
    run win64
    rc=$?
fi
exit $rc
