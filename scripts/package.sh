#!/usr/bin/env bash
# package.sh [OUTPUT.zip]: the release archive, varnik-1.0.zip: the 32-bit
# plug-in, varnik-host for trying it without the authoring application, the
# documentation for publication authors (its Markdown, and the same rendered
# as docs/authors.html, which a double-click opens in a browser on Windows)
# and the licence. Build first (make dist); the archive defaults to
# dist/varnik-1.0.zip.
#
# The archive is the same, byte for byte, wherever and whenever the same
# commit is built: binaries without debug sections or build paths, entries
# in a fixed order, stamped with the commit's time. Their symbols go beside
# it (symbols/, found through each binary's debug link), and SHA256SUMS.
set -eu
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
out=${1:-$root/dist/varnik-1.0.zip}
outdir=$(cd "$(dirname "$out")" && pwd)
for f in dist/win32/varnik.nbp build/win32/varnik.nbp.debug build/win32/varnik-host.exe docs/authors.md LICENSE; do
    [ -f "$root/$f" ] || { echo "package: $f is missing (run 'make dist')" >&2; exit 1; }
done

# varnik-host ships stripped; the plug-in is stripped when it is built.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$outdir/symbols"
objcopy=i686-w64-mingw32-objcopy
# objcopy stamps a PE file with the time unless told a fixed one: 0, as the
# linker leaves it. The debug link holds the symbols' checksum too.
cp "$root/build/win32/varnik.nbp.debug" "$outdir/symbols/varnik.nbp.debug"
SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$root/build/win32/varnik-host.exe" \
    "$outdir/symbols/varnik-host.exe.debug"
(cd "$outdir/symbols" && SOURCE_DATE_EPOCH=0 "$objcopy" --strip-all --add-gnu-debuglink=varnik-host.exe.debug \
    "$root/build/win32/varnik-host.exe" "$stage/varnik-host.exe")

# The authors' guide as a page: GitHub-flavoured Markdown, as the guide is
# written, in a document of its own that names its encoding and shows the
# edit dialog's picture beside it.
command -v cmark-gfm >/dev/null || { echo "package: cmark-gfm is missing (run 'sudo make setup')" >&2; exit 1; }
title=$(sed -n '1s/^# //p' "$root/docs/authors.md" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g')
{
    printf '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>%s</title>\n' "$title"
    printf '<style>body { max-width: 46em; margin: 2em auto; padding: 0 1em; font-family: sans-serif;'
    printf ' line-height: 1.45 } pre, code { background: #f3f3f3 } pre { padding: .6em; overflow: auto }'
    printf ' table { border-collapse: collapse } th, td { border: 1px solid #bbb; padding: .2em .5em }</style>\n'
    printf '</head>\n<body>\n'
    cmark-gfm --extension table --extension autolink --extension strikethrough "$root/docs/authors.md"
    printf '</body>\n</html>\n'
} >"$stage/authors.html"

# The commit's time, unless SOURCE_DATE_EPOCH says otherwise.
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}

/usr/bin/python3 - "$root" "$stage" "$out" "$stamp" <<'PY'
import glob, os, sys, time, zipfile
root, stage, out, stamp = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
entries = [(os.path.join(root, "dist/win32/varnik.nbp"), "varnik.nbp"),
           (os.path.join(stage, "varnik-host.exe"), "varnik-host.exe"),
           (os.path.join(root, "LICENSE"), "LICENSE")]
docs = [(p, p[len(root) + 1:]) for p in glob.glob(os.path.join(root, "docs", "*"))]
docs.append((os.path.join(stage, "authors.html"), "docs/authors.html"))
entries += sorted(docs, key=lambda entry: entry[1])
when = time.gmtime(max(stamp, 315532800))[:6]  # zip dates start in 1980
tmp = out + ".tmp"
with zipfile.ZipFile(tmp, "w") as z:
    for source, name in entries:
        info = zipfile.ZipInfo("varnik-1.0/" + name, date_time=when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        info.create_system = 3  # the same on every building machine
        with open(source, "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
os.replace(tmp, out)
print("wrote %s (%d files)" % (out, len(entries)))
PY
(cd "$outdir" && sha256sum "$(basename "$out")" >SHA256SUMS && cat SHA256SUMS)
