# shellcheck shell=bash
# Sourced by wine-run and wine-server: where Wine lives and how the project's
# prefix is made.
VARNIK_ROOT=${VARNIK_ROOT:-$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)}
VARNIK_WINE64=${VARNIK_WINE64:-/usr/lib/wine/wine64}
VARNIK_WINE32=${VARNIK_WINE32:-/usr/lib/wine/wine}
VARNIK_WINESERVER=${VARNIK_WINESERVER:-/usr/lib/wine/wineserver64}
VARNIK_W32_HOME=${VARNIK_W32_HOME:-$VARNIK_ROOT/../shared/w32}
# Where the set-up step says why it could not install 32-bit Wine.
VARNIK_WINE32_MISSING=${VARNIK_WINE32_MISSING:-/var/lib/varnik/wine32-missing}
# VARNIK_WINE_DISPLAY=x11 selects a second prefix whose windows are real X
# windows (on $DISPLAY, without a window manager); the default is headless.
VARNIK_WINE_DISPLAY=${VARNIK_WINE_DISPLAY:-null}
if [ "$VARNIK_WINE_DISPLAY" = x11 ]; then
    export WINEPREFIX=${VARNIK_WINEPREFIX:-$VARNIK_ROOT/build/wineprefix-x11}
else
    export WINEPREFIX=${VARNIK_WINEPREFIX:-$VARNIK_ROOT/build/wineprefix}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINESERVER=$VARNIK_WINESERVER
export WINEARCH=win64

# COFF machine 0x14c behind the PE signature: a 32-bit x86 program.
varnik_is_pe32() {
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$pe" ] && [ "$(od -An -tx1 -j"$pe" -N6 "$1" 2>/dev/null | tr -d ' ')" = 504500004c01 ]
}

# The CI lane for kernels without IA32 (see ../shared/w32/README.md).
varnik_w32_lane() {
    [ -x "$VARNIK_W32_HOME/run32" ] && [ -s "${W32_CACHE:-/var/cache/w32}/mode" ]
}

# Wine's 32-bit loader starts here (the kernel runs 32-bit code).
varnik_ia32_runs() {
    [ -x "$VARNIK_WINE32" ] && "$VARNIK_WINE32" --version >/dev/null 2>&1
}

# 32-bit Windows programs run here: natively or through the CI lane.
varnik_runs_32bit() {
    varnik_w32_lane || varnik_ia32_runs
}

# Does the kernel execute a 32-bit x86 ELF? A 93-byte program that exits 42.
varnik_kernel_runs_i386() {
    local probe rc
    probe=$(mktemp "${TMPDIR:-/tmp}/varnik-i386.XXXXXX") || return 1
    printf '%b' '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0' \
        '\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0\0\0\0\0\0\0\0\0' \
        '\x34\0\x20\0\x01\0\0\0\0\0\0\0' \
        '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0' \
        '\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' >"$probe"
    chmod 700 "$probe"
    "$probe" 2>/dev/null
    rc=$?
    rm -f "$probe"
    [ $rc -eq 42 ]
}

# One line: why 32-bit Windows programs cannot run here, and the fix that
# applies on this machine.
varnik_no_32bit_reason() {
    local why
    if ! varnik_kernel_runs_i386; then
        why="this kernel cannot run 32-bit code (no IA32 emulation)"
        if [ -x "$VARNIK_W32_HOME/enable" ]; then
            why+="; the CI lane emulates it: run $(readlink -f "$VARNIK_W32_HOME")/enable as root"
        else
            why+=": that needs a kernel built with CONFIG_IA32_EMULATION, not booted with ia32_emulation=0"
        fi
    elif [ ! -x "$VARNIK_WINE32" ] && [ -s "$VARNIK_WINE32_MISSING" ]; then
        why=$(cat "$VARNIK_WINE32_MISSING")
    elif [ ! -x "$VARNIK_WINE32" ]; then
        why="32-bit Wine is not installed: run 'sudo make setup' (it installs wine32:i386)"
    else
        why="32-bit Wine does not start: $("$VARNIK_WINE32" --version 2>&1 </dev/null | head -n1)"
    fi
    echo "32-bit Windows programs cannot run here: $why"
}

# What .varnik-ready holds once the prefix has every setting made below; a
# prefix made by an older set-up is made again.
VARNIK_PREFIX_VERSION=3

varnik_prefix_made_now() {
    [ "$(cat "$WINEPREFIX/.varnik-ready" 2>/dev/null)" = "$VARNIK_PREFIX_VERSION" ]
}

# A prefix is made once, except that one made while 32-bit programs could not
# run is made again once they can: only a new prefix gets Wine's 32-bit DLLs
# (wineboot -u does not add them), and without them every 32-bit program
# fails with "could not load kernel32.dll". .varnik-wow64 marks a prefix made
# while 32-bit programs ran.
varnik_prefix_current() {
    varnik_prefix_made_now || return 1
    [ -f "$WINEPREFIX/.varnik-wow64" ] || ! varnik_runs_32bit
}

varnik_no_crash_debugger() {
    "$VARNIK_WINE64" reg add "$1" /v Auto /d 1 /f &&
        "$VARNIK_WINE64" reg add "$1" /v Debugger /d 'varnik-no-crash-debugger %ld %ld' /f
}

# Creates the prefix, serialised so that parallel tests may all ask.
varnik_ensure_prefix() {
    varnik_prefix_current && return 0
    [ -x "$VARNIK_WINE64" ] || { echo "wine-run: $VARNIK_WINE64 missing: run 'make setup'" >&2; return 1; }
    mkdir -p "$WINEPREFIX" || return 1
    (
        flock 8
        varnik_prefix_current && exit 0
        if [ -f "$WINEPREFIX/.varnik-ready" ]; then
            if varnik_prefix_made_now; then
                echo "wine-run: $WINEPREFIX was made without 32-bit Wine: making it again" >&2
            else
                echo "wine-run: $WINEPREFIX was made by an older set-up: making it again" >&2
            fi
            "$VARNIK_WINESERVER" -k </dev/null >/dev/null 2>&1
            # The lock file stays: a waiting process holds it open.
            find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name .varnik-lock -exec rm -rf {} + || exit 1
        fi
        wow64=false
        varnik_runs_32bit && wow64=true
        log=$WINEPREFIX/.varnik-setup.log
        {
            # No Mono/Gecko install prompts while the prefix is made.
            WINEDLLOVERRIDES="mscoree,mshtml=" timeout 600 "$VARNIK_WINE64" wineboot -i &&
            # Headless windows, dialogs and controls: Wine's null display driver;
            # or real X windows that need no window manager.
            "$VARNIK_WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$VARNIK_WINE_DISPLAY" /f &&
            "$VARNIK_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
            # Wine draws no text until the prefix has fonts.
            { cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" || true; } &&
            # A crash is reported on stderr and exits with its exception code.
            # Wine asks "debug it?" in a message box unless Auto is 1, and
            # starts winedbg where no Debugger is named: the box and winedbg's
            # dialog waited on the headless desktop until the test's timeout,
            # and one crash ended with exit code 0, as if it had passed. A
            # debugger that does not exist makes Wine give up debugging at once.
            varnik_no_crash_debugger 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' &&
            varnik_no_crash_debugger 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug' &&
            "$VARNIK_WINESERVER" -w
        } </dev/null >"$log" 2>&1 || { echo "wine-run: prefix setup failed, see $log" >&2; exit 1; }
        # The CI lane's run32 would otherwise redo its own set-up here on first
        # use, which switches every prefix to the null driver.
        touch "$WINEPREFIX/.w32-ready"
        echo "$VARNIK_PREFIX_VERSION" >"$WINEPREFIX/.varnik-ready"
        if $wow64; then touch "$WINEPREFIX/.varnik-wow64"; fi
    ) 8>"$WINEPREFIX/.varnik-lock"
}
