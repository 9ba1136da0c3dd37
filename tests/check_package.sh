#!/usr/bin/env bash
# check_package.sh: the release archive holds the 32-bit plug-in exactly as
# built, varnik-host, the authors' documentation (also as a page whose
# pictures and links are all in the archive) and the licence, under one
# folder named for the version. Its binaries carry no debug sections and no
# build path; their symbols and SHA256SUMS lie beside it, and packaging again
# gives the same bytes. (`make reproducible` builds in two folders.)
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/package.sh" "$work/varnik-1.0.zip" || exit 1
/usr/bin/python3 - "$root" "$work/varnik-1.0.zip" <<'PY'
import posixpath, re, sys, zipfile
root, archive = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive) as z:
    names = set(z.namelist())
    required = {"varnik-1.0/varnik.nbp", "varnik-1.0/varnik-host.exe", "varnik-1.0/LICENSE",
                "varnik-1.0/docs/authors.md", "varnik-1.0/docs/authors.html", "varnik-1.0/docs/edit-dialog.png"}
    missing = required - names
    strays = [n for n in names if not n.startswith("varnik-1.0/")]
    same = z.read("varnik-1.0/varnik.nbp") == open(root + "/dist/win32/varnik.nbp", "rb").read() \
        if "varnik-1.0/varnik.nbp" in names else False
    pe32 = same and z.read("varnik-1.0/varnik.nbp")[:2] == b"MZ"
    page = z.read("varnik-1.0/docs/authors.html").decode() if "varnik-1.0/docs/authors.html" in names else ""
# The page shows the edit dialog, and every picture or link it names inside
# the archive is there.
targets = re.findall(r'(?:src|href)="([^"#:]+)"', page)
broken = [t for t in targets if posixpath.normpath("varnik-1.0/docs/" + t) not in names]
pictured = '<img src="edit-dialog.png"' in page and '<meta charset="utf-8">' in page
if missing or strays or not same or not pe32 or broken or not pictured:
    print("FAIL: missing %s, outside the folder %s, plug-in as built: %s, page links missing files %s,"
          " page shows the edit dialog: %s" % (sorted(missing), strays, same, broken, pictured))
    sys.exit(1)
print("ok: %d files, the plug-in byte for byte as built" % len(names))
PY
[ $? -eq 0 ] || exit 1

fail=0
(cd "$work" && sha256sum --quiet -c SHA256SUMS) || { echo "FAIL: SHA256SUMS"; fail=1; }
first=$(sha256sum <"$work/varnik-1.0.zip")
"$root/scripts/package.sh" "$work/varnik-1.0.zip" >/dev/null || exit 1
[ "$(sha256sum <"$work/varnik-1.0.zip")" = "$first" ] || { echo "FAIL: packaging again changed the archive"; fail=1; }
mkdir "$work/x" && (cd "$work/x" && unzip -q ../varnik-1.0.zip)
for binary in varnik.nbp varnik-host.exe; do
    file=$work/x/varnik-1.0/$binary
    sections=$(i686-w64-mingw32-objdump -h "$file" | awk '$2 ~ /^\./ { print $2 }')
    echo "$sections" | grep -q '^\.debug' && { echo "FAIL: $binary has debug sections"; fail=1; }
    echo "$sections" | grep -q '^\.gnu_debuglink$' || { echo "FAIL: $binary has no debug link"; fail=1; }
    [ -s "$work/symbols/$binary.debug" ] || { echo "FAIL: no symbols for $binary beside the archive"; fail=1; }
    grep -q -a -F "$root" "$file" && { echo "FAIL: $binary holds the build path $root"; fail=1; }
done
[ $fail -eq 0 ] && echo "ok: stripped, symbols beside, checksums, the same bytes when packaged again"
exit $fail
