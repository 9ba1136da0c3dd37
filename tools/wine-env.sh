# shellcheck shell=bash
# Sourced by wine-run and wine-server: where Wine lives and how the project's
# prefix is made.
VARNIK_ROOT=${VARNIK_ROOT:-$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)}
VARNIK_WINE64=${VARNIK_WINE64:-/usr/lib/wine/wine64}
VARNIK_WINE32=${VARNIK_WINE32:-/usr/lib/wine/wine}
VARNIK_WINESERVER=${VARNIK_WINESERVER:-/usr/lib/wine/wineserver64}
VARNIK_W32_HOME=${VARNIK_W32_HOME:-$VARNIK_ROOT/../shared/w32}
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

# Creates the prefix once, serialised so that parallel tests may all ask.
varnik_ensure_prefix() {
    [ -f "$WINEPREFIX/.varnik-ready" ] && return 0
    [ -x "$VARNIK_WINE64" ] || { echo "wine-run: $VARNIK_WINE64 missing: run 'make setup'" >&2; return 1; }
    mkdir -p "$WINEPREFIX" || return 1
    (
        flock 8
        [ -f "$WINEPREFIX/.varnik-ready" ] && exit 0
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
            # A crash exits with its exception code instead of starting winedbg.
            for k in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                     'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
                "$VARNIK_WINE64" reg add "$k" /v Auto /d 0 /f
                "$VARNIK_WINE64" reg delete "$k" /v Debugger /f
            done
            "$VARNIK_WINESERVER" -w
        } </dev/null >"$log" 2>&1 || { echo "wine-run: prefix setup failed, see $log" >&2; exit 1; }
        # The CI lane's run32 would otherwise redo its own set-up here on first
        # use, which switches every prefix to the null driver.
        touch "$WINEPREFIX/.w32-ready" "$WINEPREFIX/.varnik-ready"
    ) 8>"$WINEPREFIX/.varnik-lock"
}
