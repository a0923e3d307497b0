#!/usr/bin/env bash
# A user on a desktop chooses a volume of the fake Mac in the tray menu and answers the alerts;
# the command line must reach the administrator prompt exactly. Runs inside scripts/fake-mac:
#
#   scripts/fake-mac /bin/bash tests/desktop/select_volume_e2e.sh BUILD_DIR [sni|xembed]
#
# A session of session.sh with a StatusNotifierItem host or an XEmbed tray (whose icon
# window a blocking alert would freeze), driven by xdotool. The administrator
# prompt is a stand-in bound over /usr/bin/pkexec in the private mount namespace: it records its
# arguments and answers as told. Exits 77 (skipped) when a tool is missing.
set -euo pipefail

build=${1:?usage: select_volume_e2e.sh BUILD_DIR [sni|xembed]} host=${2:-sni}
source "$(dirname "$0")/session.sh"
session_require Xvfb xdotool xwininfo xprop dbus-daemon gdbus
case $host in
sni) session_require status-notifier-watcher gtk-sni-tray-standalone ;;
xembed) session_require trayer ;;
*) fail "unknown tray host $host" ;;
esac
[ -f /usr/bin/pkexec ] || { echo "skipped: no /usr/bin/pkexec to stand in for"; exit 77; }
[ -x "$build/kavelin" ] || { echo "$build/kavelin is missing" >&2; exit 1; }
if findmnt -no PROPAGATION / | grep -q shared; then
    echo "skipped: not in a private mount namespace (run it through scripts/fake-mac)"
    exit 77
fi
work=$session_dir
trap 'session_cleanup; umount /usr/bin/pkexec 2>/dev/null' EXIT

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

# A StatusNotifierItem host on a bus where no session manager answers the restart request, as on
# a desktop that offers none.
session_start_x 1024x768
session_start_bus
if [ "$host" = sni ]; then
    session_start_sni_host
    session_start_program "$build/kavelin"
    wait_for "the item never registered with the watcher" sni_item
    icon_x=$((1024 - 15)) icon_y=15
else
    session_start_xembed_host
    session_start_program "$build/kavelin"
    wait_for "the icon was not embedded in the tray" icon_window
    read -r _ icon_x icon_y _ <<<"$(icon_window)"
    icon_x=$((icon_x + 8)) icon_y=$((icon_y + 8))
fi

# An alert: a window of the program in the middle of the screen.
alert_up() { windows_of '^kavelin$' | awk '$3 >= 100' | grep -q .; }
# A click on the icon, then keys in the menu as a user would press them.
choose_in_menu() { # KEY...
    click_until "the menu did not open" "$icon_x" "$icon_y" 1 menu_window
    press "$@"
}
answer() { # KEY... (in the alert that is up)
    wait_for "no alert came up" alert_up
    press "$@"
}
# A click on a button of the alert that is up. NOTE: buttons take no keyboard focus, so only the
# pointer reaches them; they fill the alert's bottom row when its texts are short.
click_button() { # first|middle
    wait_for "no alert came up" alert_up
    local x y w h
    read -r _ x y w h <<<"$(windows_of '^kavelin$' | awk '$3 >= 100' | head -n 1)"
    case $1 in first) x=$((x + 20)) ;; middle) x=$((x + w / 2)) ;; esac
    xdotool mousemove --sync "$x" $((y + h - 22)) click 1
}
# While a flow is under way, a click on the icon opens the one-line busy menu (wider than a tool
# tip, one line high); Escape closes it.
busy_menu() { windows_of '^kavelin$' | awk -v bar="$bar" '$3 >= bar && $3 < 100 && $4 >= 100 && $5 < 40' | grep .; }
busy_menu_shows() {
    click_until "a click during the flow opened no busy menu" "$icon_x" "$icon_y" 1 busy_menu
    windows_of '^kavelin$' | awk -v bar="$bar" '$3 >= bar && $3 < 100 && $5 >= 40' | grep -q . &&
        fail "a click during the flow opened the full menu"
    press Escape
    wait_for "the busy menu stayed" eval '! busy_menu'
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
# Meanwhile the menu that a host reads offers nothing but the notice, and so does a click.
[ "$host" = xembed ] || sni_menu | grep -qE "^\(uint32 [0-9]+, \(0, \{[^}]*\}, \[<\([0-9]+, \{'enabled': <false>, 'label': <'Autorisation en cours…'>, 'visible': <true>\}, @av \[\]\)>\]\)\)$" ||
    fail "the exported menu is not the busy one: $(sni_menu)"
busy_menu_shows
click_button middle
wait_for "the command never reached the prompt" test -s "$work/ran"
answer Escape
sleep 0.5
alert_up || fail "Escape closed the next-start alert: it was another alert"
answer Return
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
answer Escape
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
wait_for_program_end
[ "$status" -eq 0 ] || fail "the program ended with status $status: $(cat "$work/program.log")"
echo "end to end: three selections reached the prompt as expected, the busy menu meanwhile"
