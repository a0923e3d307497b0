#!/bin/sh
# The program as a user starts it: the listing maps no Qt library; without a display it says so
# in one line; under Xvfb with a tray host the icon docks (Qt's own options on the command line
# ignored), a click opens the menu and its Quit item ends it with status 0 (77, skipped, without
# the tools). Usage: program_test.sh CHECK PROGRAM
check=$1 program=$2
fail() { echo "FAIL: $*"; exit 1; }
contains() { case $1 in *"$2"*) return 0 ;; esac; return 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=/nonexistent "$@"; }

case $check in
listing)
    out=$(env LD_DEBUG=libs "$program" --list-volumes 2>&1) || fail "the listing failed"
    contains "$out" "calling init" || fail "the loader reports nothing: LD_DEBUG had no effect"
    if contains "$out" libQt6 || contains "$out" kavelin-qt; then fail "the listing loads Qt"; fi
    contains "$(headless LD_DEBUG=libs "$program" 2>&1)" libQt6Widgets ||
        fail "application mode shows no Qt library either: the check sees nothing"
    ;;
no-session)
    for case in "|aucune session graphique" ":9876|impossible d’ouvrir la session graphique"; do
        display=${case%%|*} says=${case#*|}
        out=$(headless ${display:+DISPLAY=$display} "$program" 2>&1)
        status=$? lines=$(printf '%s\n' "$out" | wc -l)
        [ $status -eq 1 ] && [ "$lines" -eq 1 ] && contains "$out" "$says" ||
            fail "DISPLAY=$display: status $status, said: $out"
    done
    ;;
tray-session)
    for tool in Xvfb trayer xdotool xwininfo; do
        command -v $tool >/dev/null && continue
        echo "skipped: $tool is not installed (packages xvfb, trayer, xdotool, x11-utils)"
        exit 77
    done
    dir=$(mktemp -d) pids=
    trap 'kill $pids 2>/dev/null; rm -rf "$dir"' EXIT
    eventually() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.05; done; return 1; }
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
    pids="$pids $!"
    eventually 'test -s "$dir/display"' || fail "Xvfb did not start"
    export DISPLAY=:$(cat "$dir/display")
    unset WAYLAND_DISPLAY
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false >/dev/null 2>&1 &
    pids="$pids $!"
    window() { sed -n "s/^ *\(0x[0-9a-f]*\) $1.*/\1/p"; }
    panel() { xwininfo -root -children | window '"panel": ("panel" "trayer")'; }
    eventually 'test -n "$(panel)"' || fail "trayer shows no panel"

    # Qt's own options are arguments like any other, ignored: they must not reach Qt.
    QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$dir "$program" -platform nonexistent -display :9 \
        >/dev/null 2>&1 &
    app=$!
    pids="$pids $app"
    icon() { xwininfo -tree -id "$(panel)" | window '"Kavelin": ("kavelin" "kavelin")'; }
    eventually 'test -n "$(icon)"' || fail "the icon was not embedded in the tray"
    # The menu is a visible window of the program as wide as a menu, unlike the icon.
    menu() {
        xdotool search --onlyvisible --classname kavelin getwindowgeometry %@ 2>/dev/null |
            grep -q 'Geometry: [0-9]\{3,\}x'
    }
    menu && fail "the menu shows before any click"
    xdotool mousemove --window "$(icon)" 8 8 click 1
    eventually menu || fail "a click did not open the menu"
    # With the pointer off the menu and no item active, Up wraps round to "Quitter Kavelin".
    xdotool mousemove 10 500 key Up sleep 0.2 key Return
    (sleep 10 && kill $app) 2>/dev/null &
    pids="$! $pids"
    wait $app
    status=$?
    [ $status -eq 0 ] || fail "Quit did not end the program with status 0 (status $status)"
    pids=${pids% *} # reaped
    ;;
*) fail "unknown check $check" ;;
esac
echo "ok: $check"
