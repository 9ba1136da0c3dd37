#!/usr/bin/env bash
# check_package.sh: the release archive holds the 32-bit plug-in exactly as
# built, varnik-host, the authors' documentation and the licence, under one
# folder named for the version.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/package.sh" "$work/varnik-1.0.zip" || exit 1
/usr/bin/python3 - "$root" "$work/varnik-1.0.zip" <<'PY'
import sys, zipfile
root, archive = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive) as z:
    names = set(z.namelist())
    required = {"varnik-1.0/varnik.nbp", "varnik-1.0/varnik-host.exe", "varnik-1.0/LICENSE",
                "varnik-1.0/docs/authors.md", "varnik-1.0/docs/edit-dialog.png"}
    missing = required - names
    strays = [n for n in names if not n.startswith("varnik-1.0/")]
    same = z.read("varnik-1.0/varnik.nbp") == open(root + "/dist/win32/varnik.nbp", "rb").read() \
        if "varnik-1.0/varnik.nbp" in names else False
    pe32 = same and z.read("varnik-1.0/varnik.nbp")[:2] == b"MZ"
if missing or strays or not same or not pe32:
    print("FAIL: missing %s, outside the folder %s, plug-in as built: %s" % (sorted(missing), strays, same))
    sys.exit(1)
print("ok: %d files, the plug-in byte for byte as built" % len(names))
PY
