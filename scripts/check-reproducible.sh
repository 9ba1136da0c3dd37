#!/usr/bin/env bash
# check-reproducible.sh: builds the release archive of this checkout's commit
# twice, in two folders of different names and depths, and compares them
# byte for byte. Uncommitted changes are not part of a commit: commit first.
set -eu
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sums=()
for folder in one "second/folder with a longer name"; do
    git clone -q --no-checkout "$root" "$work/$folder"
    git -C "$work/$folder" checkout -q "$commit"
    echo "building $commit in $work/$folder"
    make -C "$work/$folder" dist >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
    sums+=("$(cat "$work/$folder/dist/SHA256SUMS")")
done
echo "${sums[0]}"
echo "${sums[1]}"
if [ "${sums[0]}" != "${sums[1]}" ]; then
    echo "NOT REPRODUCIBLE: the two archives differ"
    exit 1
fi
echo "reproducible: both builds give the same archive ($(stat -c %s "$work/one/dist/varnik-1.0.zip") bytes;" \
    "plug-in $(stat -c %s "$work/one/dist/win32/varnik.nbp") bytes)"
