#!/usr/bin/env bash
# edit_dialog_x11.sh VARNIK_HOST_EXE PLUGIN SCREENSHOT
#
# The edit dialog in a real window: Xvfb and Wine's X11 driver, no window
# manager. Waits for the dialog by its caption, checks a screenshot (where it
# is, its client area's size and colour, the label's colour), then types a
# name into the combo box and clicks Done with xdotool, as a person would;
# the host must then hold that name. Every wait is bounded.
set -u
root=$(cd "$(dirname "$(readlink -f "$0")")/../.." && pwd)
exe=$1 plugin=$2 screenshot=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/varnik-x11.XXXXXX")

skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
for tool in Xvfb xdotool import convert; do
    command -v $tool >/dev/null || skip "$tool is not installed (run 'make setup')"
done

export VARNIK_WINE_DISPLAY=x11
. "$root/scripts/wine-env.sh"
if varnik_is_pe32 "$exe" && ! varnik_runs_32bit; then
    skip "$(varnik_no_32bit_reason)"
fi
varnik_ensure_prefix || fail "could not make the X11 prefix"

# Xvfb picks a display number no other X server uses, including one in
# another root whose lock files this /tmp does not show.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
host=
cleanup() {
    [ -n "$host" ] && kill "$host" 2>/dev/null
    "$VARNIK_WINESERVER" -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# waitfor SECONDS WHAT COMMAND...: retries COMMAND every 0.1 s.
waitfor() {
    local tenths=$(($1 * 10)) what=$2
    shift 2
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "$what did not happen within $((tenths / 10)) s"
}
waitfor 10 "Xvfb start" grep -q . "$work/display"
export DISPLAY=:$(cat "$work/display")
waitfor 10 "Xvfb answering" xdpyinfo
# Wine's desktop process is 64-bit: started by a 32-bit program it finds no
# display driver, so it is started first.
timeout 60 "$VARNIK_WINE64" wineboot </dev/null >/dev/null 2>&1 || fail "wineboot on $DISPLAY failed"

# The host tool shows the dialog for an action that holds no name yet.
"$root/scripts/wine-run" "$exe" edit "$plugin" --choices OnUSB,OnStick >"$work/out.txt" 2>&1 &
host=$!
# Wine's X11 driver can make more than one X window with the dialog's name
# (one was 1x1 at 0,0): the dialog's own is the visible one that holds its
# 340 x 160 client area.
find_dialog() {
    local id
    for id in $(xdotool search --onlyvisible --name '^USB Watcher Plugin$'); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$WIDTH" -ge 340 ] && [ "$HEIGHT" -ge 160 ] && { echo "$id"; return 0; }
    done
    return 1
}
waitfor 60 "the edit dialog appearing" find_dialog
window=$(find_dialog)

# Pixels: the client area is the dialog background colour, without the controls.
box_of() {  # box_of COLOUR: "W H X Y" of the pixels of that colour
    convert "$work/shot.png" -fill black +opaque "$1" -trim -format '%w %h %X %Y' info: 2>/dev/null |
        tr -d '+'
}
painted() {  # the client area and the label both drawn
    import -window root "$work/shot.png" && [ "$(box_of 'rgb(250,245,255)' | cut -d' ' -f1,2)" = "340 160" ] &&
        [ "$(box_of 'rgb(245,245,255)' | cut -d' ' -f1,2)" = "90 20" ]
}
waitfor 20 "a 340 x 160 client area of RGB(250, 245, 255) with a 90 x 20 label of RGB(245, 245, 255)" painted
read -r cw ch cx cy <<<"$(box_of 'rgb(250,245,255)')"
read -r lw lh lx ly <<<"$(box_of 'rgb(245,245,255)')"
# It may be mapped before it is moved to its place.
at_its_place() { eval "$(xdotool getwindowgeometry --shell "$window")" && [ "$X,$Y" = 300,300 ]; }
for _ in $(seq 100); do at_its_place && break; sleep 0.1; done
echo "dialog window at $X,$Y ${WIDTH}x$HEIGHT; client area ${cw}x$ch at $cx,$cy; label ${lw}x$lh at $lx,$ly"
[ "$X,$Y" = "300,300" ] || fail "the dialog is at $X,$Y, not 300,300"
[ "$cx" -ge "$X" ] && [ "$cy" -ge "$Y" ] && [ $((cx + cw)) -le $((X + WIDTH)) ] && [ $((cy + ch)) -le $((Y + HEIGHT)) ] ||
    fail "the client area is not inside the dialog's window"
[ "$lw $lh $((lx - cx)) $((ly - cy))" = "90 20 20 79" ] ||
    fail "the label's background is ${lw}x$lh at +$((lx - cx)),+$((ly - cy)) of the client area, not 90x20 at +20,+79"
convert "$work/shot.png" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$screenshot" || fail "could not save the screenshot"

# A person: click into the combo box's text, type a name, click Done. On a
# loaded machine the first keys can arrive before Wine has made the dialog
# active and be lost, so the typing is repeated, over a cleared box, until
# the name is drawn in the box (its text area's dark pixels; a caret alone
# has about 13).
drawn_pixels() {
    import -window root "$work/typed.png" &&
        convert "$work/typed.png" -crop "95x14+$((cx + 124))+$((cy + 77))" +repage -colorspace gray \
            -threshold 50% -negate -format '%[fx:round(mean*w*h)]' info:
}
name_drawn() { [ "$(drawn_pixels)" -ge 40 ]; }
for attempt in 1 2 3; do
    xdotool mousemove $((cx + 140)) $((cy + 84)) click 1
    sleep 0.3
    # No window manager gives the X focus: take it, so the keys reach the dialog.
    xdotool windowfocus --sync "$window"
    sleep 0.2
    [ $attempt -gt 1 ] && xdotool key --delay 40 End shift+Home BackSpace
    xdotool type --delay 40 "TypedSub"
    for _ in $(seq 30); do name_drawn && break 2; sleep 0.1; done
    echo "retried: the typed name was not drawn in the box (try $attempt): typing it again"
done
xdotool mousemove $((cx + 180)) $((cy + 136)) click 1
for _ in $(seq 300); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
kill -0 "$host" 2>/dev/null && fail "the dialog did not close within 30 s of clicking Done"
wait "$host"
rc=$?
host=
[ $rc -eq 0 ] || fail "varnik-host exited $rc: $(cat "$work/out.txt")"
value=$(tr -d '\r' <"$work/out.txt")
[ "$value" = "TypedSub" ] || fail "the host holds '$value', not 'TypedSub'"
echo "ok: typed TypedSub, clicked Done, the host holds TypedSub; screenshot in $screenshot"
