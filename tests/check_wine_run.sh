#!/usr/bin/env bash
# check_wine_run.sh WINE_TEST_PROGRAM: scripts/wine-run ends a crashing
# Windows program with its exception code, saying so on stderr. Read through
# a pipe, it makes a run once more only when Wine's loader itself died of
# SIGSEGV and no test had failed, printing nothing of that run, unless asked
# for live output; and it ends a program that runs past its limit, printing
# what it held. The loader is stood in for by a script (VARNIK_WINE64), so
# the cases do not depend on Wine crashing.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
program=$1
. "$root/scripts/wine-env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-run-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# Wine's "debug it?" box and winedbg's dialog used to wait on the headless
# desktop until CTest's timeout, and a crash once exited 0.
timeout 60 "$root/scripts/wine-run" "$program" --crash >"$work/crash.out" 2>"$work/crash.err" </dev/null
rc=$?
[ $rc -eq 77 ] && { cat "$work/crash.err"; exit 77; }
[ $rc -eq 5 ] || fail "crash: exit $rc, expected 5 (EXCEPTION_ACCESS_VIOLATION) within 60 s"
grep -q "^wine: Unhandled" "$work/crash.err" || fail "crash: stderr does not say so"

# The stand-in loader: call N of a run does what the Nth word of $BEHAVIOUR
# says: "segv" (dies of SIGSEGV after a line), "failed-segv" (the same after
# a failed test's line), "hang" (a line, then waits for good), "silent"
# (exits 3 having printed nothing), "silent-hang" (waits for good having
# printed nothing), or an exit code.
cat >"$work/loader" <<'LOADER'
#!/usr/bin/env bash
n=$(( $(cat "$CALLS" 2>/dev/null || echo 0) + 1 )); echo $n >"$CALLS"
what=$(echo $BEHAVIOUR | cut -d' ' -f$n)
case $what in
failed-segv) echo "[  FAILED  ] run $n" ;;
silent) exit 3 ;;
silent-hang) sleep 600 ;;
*) echo "run $n"; echo "run $n err" >&2 ;;
esac
case $what in *segv) kill -SEGV $$ ;; hang) sleep 600 ;; esac
exit "$what"
LOADER
chmod +x "$work/loader"
mkdir "$work/tmp"
# A 64-bit program, the one wine-run gives to $VARNIK_WINE64. Every row may
# run 3 s; the note is the line wine-run adds on stderr, if any; no row
# leaves a file behind. "starts" says the program prints as soon as it starts.
if ! varnik_is_pe32 "$program"; then
    # behaviour | piped | exit | calls | stdout | note | starts
    while IFS='|' read -r behaviour piped want calls stdout note starts; do
        rm -f "$work/calls"
        export CALLS=$work/calls BEHAVIOUR=$behaviour VARNIK_WINE64=$work/loader TMPDIR=$work/tmp VARNIK_RUN_LIMIT=3
        export VARNIK_PRINTS_AT_START=$([ "$starts" = starts ] && echo 1)
        if [ "$piped" != no ]; then  # "live": piped, asking for live output
            out=$(VARNIK_LIVE_OUTPUT=$([ "$piped" = live ] && echo 1) \
                "$root/scripts/wine-run" "$program" 2>"$work/err" </dev/null)
            rc=$?
        else  # a subshell of its own, which reports the stand-in's SIGSEGV to /dev/null
            ("$root/scripts/wine-run" "$program" >"$work/out" 2>"$work/err" </dev/null; exit $?) 2>/dev/null
            rc=$?
            out=$(cat "$work/out")
        fi
        unset CALLS BEHAVIOUR VARNIK_WINE64 TMPDIR VARNIK_RUN_LIMIT VARNIK_PRINTS_AT_START
        case="[$behaviour, piped: $piped]"
        [ $rc -eq "$want" ] || fail "$case: exit $rc, expected $want"
        [ "$(cat "$work/calls")" = "$calls" ] || fail "$case: loader called $(cat "$work/calls") times, expected $calls"
        [ "$out" = "$stdout" ] || fail "$case: stdout '$out', expected '$stdout'"
        said=$(grep -o -e "running it once more" -e "not running it again" -e "did not end within 3 s" \
            -e "printed nothing and ended with exit status 3" "$work/err")
        [ "$said" = "${note#-}" ] || fail "$case: wine-run's note on stderr is '$said', expected '${note#-}'"
        [ -z "$(ls -A "$work/tmp")" ] || fail "$case: left behind: $(ls -A "$work/tmp")"
    done <<'CASES'
segv 0|yes|0|2|run 2|running it once more
segv segv|yes|139|2|run 2|running it once more
failed-segv 0|yes|139|1|[  FAILED  ] run 1|not running it again
hang|yes|124|1|run 1|did not end within 3 s
silent|yes|3|1||printed nothing and ended with exit status 3
silent 0|yes|0|2|run 2|running it once more|starts
silent-hang|yes|124|1||did not end within 3 s|starts
5|yes|5|1|run 1|-
0|yes|0|1|run 1|-
segv 0|no|139|1|run 1|-
segv 0|live|139|1|run 1|-
CASES
fi
[ $failures -eq 0 ] && echo "wine-run: all cases passed"
exit $((failures > 0))
