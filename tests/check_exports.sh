#!/usr/bin/env bash
# check_exports.sh OBJDUMP DLL FORMAT: the DLL is a PE of FORMAT that exports
# exactly the nine names the host looks up and imports only system DLLs.
set -u
objdump=$1 dll=$2 format=$3
dump=$("$objdump" -p "$dll") || { echo "FAIL: $objdump -p $dll"; exit 1; }
fail=0

echo "$dump" | grep -q "file format $format" || { echo "FAIL: not $format"; fail=1; }

expected=$(printf '%s\n' _nbRegisterPlugIn@16 _nbInitPlugIn@16 _nbRegisterScriptProcessor@4 \
    _nbRegisterInterfaceAccess@4 _nbExecAction@8 _nbEditAction@8 _nbMessage@8 DW_USB_START DW_USB_STOP | sort)
# The name pointer table: lines "[ n] +base[ n] 0000 Name" after its heading.
actual=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\].*[[:space:]]\([^[:space:]]*\)$/\1/p' | sort)
if [ "$actual" != "$expected" ]; then
    echo "FAIL: exported names differ"; diff <(echo "$expected") <(echo "$actual"); fail=1
fi

imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
for dllname in $imports; do
    case $dllname in
        KERNEL32.DLL|USER32.DLL|GDI32.DLL|MSVCRT.DLL) ;;
        *) echo "FAIL: imports $dllname"; fail=1 ;;
    esac
done

[ $fail -eq 0 ] && echo "ok: $format, $(echo "$actual" | wc -l) exports, imports: $(echo $imports)"
exit $fail
