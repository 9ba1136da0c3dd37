#!/usr/bin/env bash
# package.sh [OUTPUT.zip]: the release archive, varnik-1.0.zip: the 32-bit
# plug-in, varnik-host for trying it without the authoring application, the
# documentation for publication authors and the licence. Build first
# (make dist); the archive defaults to dist/varnik-1.0.zip.
set -eu
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
out=${1:-$root/dist/varnik-1.0.zip}
for f in dist/win32/varnik.nbp build/win32/varnik-host.exe docs/authors.md LICENSE; do
    [ -f "$root/$f" ] || { echo "package: $f is missing (run 'make dist')" >&2; exit 1; }
done
/usr/bin/python3 - "$root" "$out" <<'PY'
import glob, os, sys, zipfile
root, out = sys.argv[1], sys.argv[2]
entries = [("dist/win32/varnik.nbp", "varnik.nbp"),
           ("build/win32/varnik-host.exe", "varnik-host.exe"),
           ("LICENSE", "LICENSE")]
entries += [(os.path.relpath(p, root), p[len(root) + 1:]) for p in sorted(glob.glob(os.path.join(root, "docs", "*")))]
tmp = out + ".tmp"
with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
    for source, name in entries:
        z.write(os.path.join(root, source), "varnik-1.0/" + name)
os.replace(tmp, out)
print("wrote %s (%d files)" % (out, len(entries)))
PY
