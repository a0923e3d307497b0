#!/usr/bin/env bash
# A user whose tray host starts late picks volumes of the fake Mac in the tray menu and answers alerts:
# each command must reach the stand-in prompt over /usr/bin/pkexec exactly, and during a flow a click
# shows the busy menu; with an SNI host or an XEmbed tray (whose icon a blocking alert would freeze):
#   scripts/fake-mac /bin/bash tests/desktop/select_volume_e2e.sh BUILD_DIR sni|xembed
set -euo pipefail
build=$1 host=$2
source "$(dirname "$0")/session.sh"
work=$session_dir
session_require Xvfb xdotool xwininfo xprop dbus-daemon gdbus \
    $([ "$host" = xembed ] && echo trayer || echo status-notifier-watcher gtk-sni-tray-standalone)
[ -f /usr/bin/pkexec ] || { echo "skipped: no /usr/bin/pkexec to stand in for"; exit 77; }
! findmnt -no PROPAGATION / | grep -q shared || { echo "skipped: not in a private mount namespace"; exit 77; }
trap 'session_cleanup; umount /usr/bin/pkexec 2>/dev/null' EXIT

# The stand-in prompt records one argument a line, then "--", and exits with the status in
# "answer" once "hold" is gone. It runs with the runner's minimal environment: paths in full.
cat >"$work/pkexec" <<END
#!/bin/sh
printf '%s\n' "\$@" -- >>'$work/ran'
while [ -e '$work/hold' ]; do sleep 0.05; done
exit "\$(cat '$work/answer')"
END
chmod 755 "$work/pkexec" && mount --bind "$work/pkexec" /usr/bin/pkexec

# No session manager answers a restart request here. The tray host starts after the program and
# restarts: the icon docks each time (with its tool tip in an XEmbed tray). Qt's options are ignored.
session_start_x 1024x768
session_start_bus
session_start_program "$build/kavelin" -platform nonexistent -display :9
sleep 2
for start in first again; do
    [ $start = first ] || session_stop_host
    session_start_host "$host"
    icon_docked
    [ "$host" = sni ] || at_icon_until "the icon shows no tool tip" hover tooltip_window
done

# A click on a button of the choice alert, whose answer reaches the prompt. NOTE: buttons take no
# keyboard focus, so only the pointer reaches them; they fill the alert's bottom row.
click_button() { # first|middle
    local x y w h
    wait_for "no alert came up" alert
    read -r _ x y w h <<<"$(alert | head -n 1)"
    xdotool mousemove --sync $([ "$1" = first ] && echo $((x + 20)) || echo $((x + w / 2))) $((y + h - 22)) click 1
    wait_for "the command never reached the prompt" test -s "$work/ran"
}
# While a flow is under way, the exported menu and the one a click opens offer nothing but the
# notice; Escape closes it. Keys sent before have reached the program once it shows.
busy_menu_shows() {
    [ "$host" = xembed ] || sni_menu | grep -qE "^\(uint32 [0-9]+, \(0, \{[^}]*\}, \[<\([0-9]+, \{'enabled': <false>, 'label': <'Autorisation en cours…'>, 'visible': <true>\}, @av \[\]\)>\]\)\)$" ||
        fail "the exported menu is not the busy one: $(sni_menu | sed "s/'icon-data': <[^>]*>, //g")"
    at_icon_until "a click during the flow opened no busy menu" 1 busy_menu
    ! menu_window >/dev/null || fail "a click during the flow opened the full menu"
    press Escape && wait_for "the busy menu stayed" eval '! busy_menu'
}
# The stand-in prompt received exactly the root-side helper, the identity of the volume (any
# device and mount number, its UUID) and bless's arguments, and nothing else since the last time.
prompt_got() { # UUID BLESS-ARGUMENT...
    local expected=$(printf '%s\n' "$(realpath "$build/kavelin-bless")" --device D --mount-id M \
        --uuid "$1" "${@:2}" --) ran=$(sed -e '3s/^[0-9]*:[0-9]*$/D/' -e '5s/^[0-9]*$/M/' "$work/ran")
    : >"$work/ran"
    [ "$ran" = "$expected" ] || fail "the prompt got:"$'\n'"$ran"$'\n'"expected:"$'\n'"$expected"
}

# The menu: header, "Macintosh HD" (running), then by name "data 2", "Data 10", "Données".
# 1. "Data 10": the menu is busy while the choice alert is up, and no key but Escape answers it
#    (Return, Space, Enter, nor Space on whatever button Tab reaches); Escape cancels.
echo 0 >"$work/answer"
choose_in_menu 1 Down Down Down Return
answer Return space KP_Enter Tab space Tab Tab Return
busy_menu_shows
alert >/dev/null && [ ! -s "$work/ran" ] || fail "a key answered the choice alert"
answer Escape && wait_for "Escape did not close the choice alert" eval '! alert'
# Chosen again, "Au prochain redémarrage", prompt granted: the next-start alert, whose one button
# "OK" takes Return and nothing takes Escape.
choose_in_menu 1 Down Down Down Return
click_button middle
answer Escape
busy_menu_shows
alert >/dev/null || fail "Escape closed the next-start alert: it was another alert"
answer Return && wait_for "the next-start alert stayed" eval '! alert'
prompt_got 6a0e6f5c-1f0e-4c7a-9a55-0d3c2b1a0f02 --mount "/Volumes/Data 10" --setBoot --nextonly

# 2. "Données", "Redémarrer maintenant…", granted, the menu busy while the prompt is up; no
#    session answers the restart request: the fallback alert, closed with Escape.
touch "$work/hold"
choose_in_menu 1 Down Down Down Down Return
click_button first
busy_menu_shows
rm "$work/hold"
answer Escape && wait_for "the fallback alert stayed" eval '! alert'
prompt_got 6a0e6f5c-1f0e-4c7a-9a55-0d3c2b1a0f04 --mount /Volumes/Données --setBoot

# 3. "data 2", restart, prompt dismissed: no alert follows, and the full menu opens again.
echo 126 >"$work/answer"
choose_in_menu 1 Down Down Return
click_button first
choose_in_menu 1 Escape
! alert >/dev/null || fail "an alert followed a dismissed prompt"
wait_for "Escape did not close the menu" eval '! menu_window'

# 4. A StatusNotifierItem host opens its own menu on a right click; the launch-at-login switch,
#    clicked as the host reports it, reaches its handler and its check mark comes through. Quit,
#    last in the menu (which a right click opens in an XEmbed tray), ends the program with 0.
if [ "$host" = sni ]; then
    at_icon_until "a right click did not open the host's menu" 3 host_menu_window && press Escape
    wait_for "the host's menu stayed" eval '! host_menu_window'
    switch="'label': <'Boot au démarrage du système'>"
    id=$(sni_menu | grep -o "([0-9]*, {[^(]*$switch" | grep -o '^([0-9]*' | tr -d '(')
    gdbus call --session -d "$(sni_item)" -o /MenuBar -m com.canonical.dbusmenu.Event "$id" clicked '<0>' 0 >/dev/null
    wait_for "the switch never reached its handler" test -s "$work/config/autostart/kavelin.desktop"
    wait_for "the exported menu shows no check mark" eval \
        "sni_menu | grep -q \"$switch, 'toggle-state': <1>, 'toggle-type': <'checkmark'>\""
fi
choose_in_menu $([ "$host" = sni ] && echo 1 || echo 3) Up Return
wait_for_clean_exit
echo "end to end: the icon docked in a late and restarted host, three selections reached the prompt as expected"
