#!/usr/bin/env bash
# check_exports.sh OBJDUMP DLL FORMAT UNSTRIPPED_DLL TOOL_EXE: the shipped DLL
# is a PE of FORMAT that exports exactly the nine names the host looks up,
# imports exactly the functions on plugin/imports.txt (all present in Windows
# XP SP3), carries no debug sections and no static constructors; and
# varnik-host (TOOL_EXE), which ships beside it, imports only functions that
# Windows XP SP3 has too, or its loader refuses to start it.
#
# The PE tables are read with a parser made for the format
# (tests/pe_tables.py), not from objdump's print layout, which differs
# between binutils releases.
set -u
objdump=$1 dll=$2 format=$3 unstripped=$4 tool=$5
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
case $format in pei-i386) arch=win32 cc=i686-w64-mingw32-gcc ;; *) arch=win64 cc=x86_64-w64-mingw32-gcc ;; esac
# pe TABLE FILE: the table, sorted; status 1 when the file cannot be read.
pe() {
    local table
    table=$("$root/tests/pe_tables.py" "$1" "$2") || { echo "FAIL: cannot read the $1 of $2" >&2; return 1; }
    sort <<<"$table"
}
fail=0

machine=$(pe machine "$dll") || fail=1
[ "$machine" = "$format" ] || { echo "FAIL: not $format but $machine"; fail=1; }

expected=$(printf '%s\n' _nbRegisterPlugIn@16 _nbInitPlugIn@16 _nbRegisterScriptProcessor@4 \
    _nbRegisterInterfaceAccess@4 _nbExecAction@8 _nbEditAction@8 _nbMessage@8 DW_USB_START DW_USB_STOP | sort)
actual=$(pe exports "$dll") || fail=1
if [ "$actual" != "$expected" ]; then
    echo "FAIL: exported names differ"; diff <(echo "$expected") <(echo "$actual"); fail=1
fi

# Imports as "DLL function".
imports=$(pe imports "$dll") || fail=1
allowed=$(grep -v '^#' "$root/plugin/imports.txt" | awk -v arch=$arch 'NF == 2 || $3 == arch { print $1, $2 }' | sort)
if [ "$imports" != "$allowed" ]; then
    echo "FAIL: imports differ from plugin/imports.txt (< listed, > imported)"
    diff <(echo "$allowed") <(echo "$imports"); fail=1
fi

# Windows XP SP3: the headers declare a newer function only for a newer
# _WIN32_WINNT, so a reference to it does not compile. The C library's
# functions are declared as msvcrt.dll of Windows XP has them, except a few
# names that msvcrt.dll has had since before Windows XP and that no header
# declares so that their address can be taken: those the C run-time's own
# start-up calls, and data that a header reaches through a macro.
probe=$(mktemp --suffix=.c)
trap 'rm -f "$probe" "$probe.o"' EXIT
undeclared='__getmainargs __initenv __mb_cur_max __p__commode __set_app_type _amsg_exit _commode _initterm
    _lock _unlock'
# not_in_xp WHAT IMPORTS: names every import that does not compile; 1 if any.
not_in_xp() {
    {
        echo '#define _WIN32_WINNT 0x0501'
        echo '#include <windows.h>'
        echo '#include <tlhelp32.h>'
        for header in errno excpt io locale math process setjmp signal stdio stdlib string wchar; do
            echo "#include <$header.h>"
        done
        echo 'void refer(void) { void* volatile ref;'
        # shellcheck disable=SC2016  # awk's own $2
        echo "$2" | awk -v skip=" $(echo $undeclared) " '!($1 == "MSVCRT.DLL" && index(skip, " " $2 " ")) {
            printf "ref = (void*)&%s;\n", $2 }'
        echo '}'
    } >"$probe"
    local errors
    errors=$("$cc" -c -o "$probe.o" "$probe" 2>&1) && return 0
    echo "FAIL: $1 imports what Windows XP lacks:" \
        $(echo "$errors" | sed -n "s/.*error: .\([A-Za-z0-9_]*\). undeclared.*/\1/p")
    echo "$errors" | grep error | grep -v undeclared
    return 1
}
not_in_xp "the plug-in" "$allowed" || fail=1
tool_imports=$(pe imports "$tool") || fail=1
not_in_xp "varnik-host" "$tool_imports" || fail=1

sections=$(pe sections "$dll") || fail=1
echo "$sections" | grep -q '^\.debug' && { echo "FAIL: debug sections: $(echo $sections)"; fail=1; }
echo "$sections" | grep -q '^\.gnu_debuglink$' || { echo "FAIL: no debug link"; fail=1; }
# A global with a constructor or destructor needs a run-time start-up to run it.
"$objdump" -t "$unstripped" | grep -E '_GLOBAL__sub_I|__cxa_atexit|_atexit' &&
    { echo "FAIL: static constructors"; fail=1; }

# The product stays small; its x86-64 twin is held only to a looser bound.
size=$(stat -c %s "$dll")
case $arch in win32) cap=20480 ;; *) cap=65536 ;; esac
[ "$size" -le $cap ] || { echo "FAIL: $size bytes, more than $((cap / 1024)) KB"; fail=1; }

[ $fail -eq 0 ] && echo "ok: $format, $size bytes, $(echo "$actual" | wc -l) exports," \
    "$(echo "$imports" | wc -l) imports from $(echo "$imports" | awk '{ print $1 }' | sort -u | xargs);" \
    "varnik-host's $(echo "$tool_imports" | wc -l) imports all in Windows XP"
exit $fail
