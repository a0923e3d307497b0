#!/usr/bin/env bash
# A user on a desktop chooses a volume of the fake Mac in the tray menu and answers the alerts;
# the command line must reach the administrator prompt exactly. Runs inside scripts/fake-mac:
#
#   scripts/fake-mac /bin/bash tests/flows/select_volume_e2e.sh BUILD_DIR
#
# An X server (Xvfb), a tray host (trayer) and the program, driven by xdotool. The administrator
# prompt is a stand-in bound over /usr/bin/pkexec in the private mount namespace: it records its
# arguments and answers as told. Exits 77 (skipped) when a tool is missing.
set -euo pipefail

build=${1:?usage: select_volume_e2e.sh BUILD_DIR}
for tool in Xvfb trayer xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ -f /usr/bin/pkexec ] || { echo "skipped: no /usr/bin/pkexec to stand in for"; exit 77; }
[ -x "$build/kavelin" ] || { echo "$build/kavelin is missing" >&2; exit 1; }
if findmnt -no PROPAGATION / | grep -q shared; then
    echo "skipped: not in a private mount namespace (run it through scripts/fake-mac)"
    exit 77
fi

work=$(mktemp -d /tmp/kavelin-e2e.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    umount /usr/bin/pkexec 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# The stand-in prompt: one argument per line, then "--", and the exit status found in "answer",
# given once "hold" is gone. It runs with the runner's minimal environment, so every path in it
# is written out.
cat >"$work/pkexec" <<EOF
#!/bin/sh
for argument in "\$@"; do printf '%s\n' "\$argument"; done >>'$work/ran'
echo -- >>'$work/ran'
while [ -e '$work/hold' ]; do sleep 0.05; done
exit "\$(cat '$work/answer')"
EOF
chmod 755 "$work/pkexec"
mount --bind "$work/pkexec" /usr/bin/pkexec

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")

trayer --edge top --align right --widthtype pixel --width 200 --height 32 >/dev/null 2>&1 &
pids+=($!)
sleep 1

# No session bus: the restart request gets no answer, as on a desktop that offers none.
mkdir -p "$work/home" "$work/config"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" "$build/kavelin" >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")

# Visible windows of the program whose top edge is above (menu, tray icon) or below (alert) y.
windows() { # above|below Y
    for window in $(xdotool search --onlyvisible --classname '^kavelin$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        if { [ "$1" = above ] && [ "$Y" -lt "$2" ]; } || { [ "$1" = below ] && [ "$Y" -ge "$2" ]; }; then
            [ "$WIDTH" -gt 4 ] && echo "$window $X $Y $WIDTH $HEIGHT"
        fi
    done
}
alert_up() { [ -n "$(windows below 100)" ]; }
wait_for() { # WHAT COMMAND...
    local what=$1
    shift
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    fail "$what"
}

icon=""
find_icon() {
    icon=$(windows above 40 | awk '$4 < 64 { print; exit }')
    [ -n "$icon" ]
}
wait_for "the icon never docked in the tray" find_icon
read -r _ icon_x icon_y icon_w icon_h <<<"$icon"

menu_up() { windows above 40 | awk '$4 >= 64 { found = 1 } END { exit !found }'; }
# A click on the icon, then keys in the menu as a user would press them.
choose_in_menu() { # KEY...
    # NOTE: --sync waits for a motion event, so the pointer first leaves the icon.
    xdotool mousemove 0 300 mousemove --sync $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click 1
    wait_for "the menu did not open" menu_up
    xdotool key --delay 80 "$@"
}
press() { # KEY... (in the alert that is up)
    wait_for "no alert came up" alert_up
    xdotool key --delay 80 "$@"
}
# A click on a button of the alert that is up. NOTE: buttons take no keyboard focus, so only the
# pointer reaches them; they fill the alert's bottom row when its texts are short.
click_button() { # first|middle
    wait_for "no alert came up" alert_up
    local x y w h
    read -r _ x y w h <<<"$(windows below 100 | head -n 1)"
    case $1 in first) x=$((x + 20)) ;; middle) x=$((x + w / 2)) ;; esac
    xdotool mousemove --sync "$x" $((y + h - 22)) click 1
}
# While a flow is under way, a click on the icon opens the one-line busy menu; Escape closes it.
busy_menu_shows() {
    xdotool mousemove 0 300 mousemove --sync $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click 1
    wait_for "a click during the flow opened no menu" menu_up
    windows above 40 | awk '$4 >= 64 && $5 < 40 { found = 1 } END { exit !found }' ||
        fail "a click during the flow opened the full menu"
    xdotool key Escape
    wait_for "the busy menu stayed" eval '! menu_up'
}
no_alert() { ! alert_up; }
ran() { cat "$work/ran" 2>/dev/null; }
# The stand-in prompt received exactly: /bin/sh -c COMMAND.
prompt_got() { # COMMAND
    local expected
    expected=$(printf '%s\n' /bin/sh -c "$1" --)
    [ "$(ran)" = "$expected" ] || fail "prompt got:
$(ran)
expected:
$expected"
}

# The menu: header, "Macintosh HD" (running), then by name "data 2", "Data 10", "Données".
# 1. "Data 10": no key but Escape answers the choice alert, and Escape cancels; chosen again,
#    the menu is busy while the alert is up; "Au prochain redémarrage", prompt granted: the
#    next-start alert, whose one button "OK" takes Return and nothing takes Escape.
echo 0 >"$work/answer"
choose_in_menu Down Down Down Return
press Return space KP_Enter Tab space Tab Tab Return
sleep 0.5
alert_up && [ ! -s "$work/ran" ] || fail "a key answered the choice alert"
press Escape
wait_for "Escape did not close the choice alert" no_alert
choose_in_menu Down Down Down Return
wait_for "no alert came up" alert_up
busy_menu_shows
click_button middle
wait_for "the command never reached the prompt" test -s "$work/ran"
press Escape
sleep 0.5
alert_up || fail "Escape closed the next-start alert: it was another alert"
press Return
wait_for "the next-start alert stayed" no_alert
prompt_got "/usr/sbin/bless --mount '/Volumes/Data 10' --setBoot --nextonly </dev/null"

# 2. "Données", "Redémarrer maintenant…", granted, the menu busy while the prompt is up; no
#    session answers the restart request: the fallback alert, closed with Escape.
: >"$work/ran"
touch "$work/hold"
choose_in_menu Down Down Down Down Return
click_button first
wait_for "the command never reached the prompt" test -s "$work/ran"
busy_menu_shows
rm "$work/hold"
press Escape
wait_for "the fallback alert stayed" no_alert
prompt_got "/usr/sbin/bless --mount '/Volumes/Données' --setBoot </dev/null"

# 3. "data 2", restart, prompt dismissed: nothing more shows.
: >"$work/ran"
echo 126 >"$work/answer"
choose_in_menu Down Down Return
click_button first
wait_for "the command never reached the prompt" test -s "$work/ran"
sleep 1
alert_up && fail "an alert followed a dismissed prompt"

# 4. Quit, the last item of the menu: the program ends with status 0.
choose_in_menu Up Return
status=0
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
wait "$app" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status: $(cat "$work/app.log")"
echo "end to end: three selections reached the prompt as expected"
