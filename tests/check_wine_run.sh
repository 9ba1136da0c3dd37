#!/usr/bin/env bash
# check_wine_run.sh WINE_TEST_PROGRAM: tools/wine-run ends a crashing
# Windows program with its exception code, saying so on stderr; and, read
# through a pipe, makes a run once more only when Wine's loader itself died of
# SIGSEGV, printing nothing of that run, unless asked for live output. The
# loader is stood in for by a script (VARNIK_WINE64), so the cases do not
# depend on Wine crashing.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
program=$1
. "$root/tools/wine-env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-run-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# Wine's "debug it?" box and winedbg's dialog used to wait on the headless
# desktop until CTest's timeout, and a crash once exited 0.
timeout 60 "$root/tools/wine-run" "$program" --crash >"$work/crash.out" 2>"$work/crash.err" </dev/null
rc=$?
[ $rc -eq 77 ] && { cat "$work/crash.err"; exit 77; }
[ $rc -eq 5 ] || fail "crash: exit $rc, expected 5 (EXCEPTION_ACCESS_VIOLATION) within 60 s"
grep -q "^wine: Unhandled" "$work/crash.err" || fail "crash: stderr does not say so"

# The stand-in loader: call N of a run does what the Nth word of $BEHAVIOUR
# says: "segv" (dies of SIGSEGV after a line), or an exit code.
cat >"$work/loader" <<'LOADER'
#!/usr/bin/env bash
n=$(( $(cat "$CALLS" 2>/dev/null || echo 0) + 1 )); echo $n >"$CALLS"
what=$(echo $BEHAVIOUR | cut -d' ' -f$n)
echo "run $n"; echo "run $n err" >&2
[ "$what" = segv ] && kill -SEGV $$
exit "$what"
LOADER
chmod +x "$work/loader"
# A 64-bit program, the one wine-run gives to $VARNIK_WINE64.
if ! varnik_is_pe32 "$program"; then
    # behaviour | piped | exit | calls | stdout
    while IFS='|' read -r behaviour piped want calls stdout; do
        rm -f "$work/calls"
        if [ "$piped" != no ]; then  # "live": piped, asking for live output
            out=$(CALLS=$work/calls BEHAVIOUR=$behaviour VARNIK_WINE64=$work/loader \
                VARNIK_LIVE_OUTPUT=$([ "$piped" = live ] && echo 1) \
                "$root/tools/wine-run" "$program" 2>"$work/err" </dev/null)
            rc=$?
        else  # a subshell of its own, which reports the stand-in's SIGSEGV to /dev/null
            (CALLS=$work/calls BEHAVIOUR=$behaviour VARNIK_WINE64=$work/loader \
                "$root/tools/wine-run" "$program" >"$work/out" 2>"$work/err" </dev/null; exit $?) 2>/dev/null
            rc=$?
            out=$(cat "$work/out")
        fi
        case="[$behaviour, piped: $piped]"
        [ $rc -eq "$want" ] || fail "$case: exit $rc, expected $want"
        [ "$(cat "$work/calls")" = "$calls" ] || fail "$case: loader called $(cat "$work/calls") times, expected $calls"
        [ "$out" = "$stdout" ] || fail "$case: stdout '$out', expected '$stdout'"
        noted=no; grep -q "Wine itself died of SIGSEGV" "$work/err" && noted=yes
        [ $noted = $([ "$calls" = 2 ] && echo yes || echo no) ] || fail "$case: note on stderr: $noted"
    done <<'CASES'
segv 0|yes|0|2|run 2
segv segv|yes|139|2|run 2
5|yes|5|1|run 1
0|yes|0|1|run 1
segv 0|no|139|1|run 1
segv 0|live|139|1|run 1
CASES
fi
[ $failures -eq 0 ] && echo "wine-run: all cases passed"
exit $((failures > 0))
