#!/usr/bin/env bash
# A user on a desktop chooses a volume of the fake Mac in the tray menu and answers the alerts;
# the command line must reach the administrator prompt exactly. Runs inside scripts/fake-mac:
#
#   scripts/fake-mac /bin/bash tests/flows/select_volume_e2e.sh BUILD_DIR
#
# A session of tests/session.sh with a StatusNotifierItem host, driven by xdotool. The administrator
# prompt is a stand-in bound over /usr/bin/pkexec in the private mount namespace: it records its
# arguments and answers as told. Exits 77 (skipped) when a tool is missing.
set -euo pipefail

build=${1:?usage: select_volume_e2e.sh BUILD_DIR}
source "$(dirname "$0")/../session.sh"
session_require Xvfb xdotool xwininfo xprop dbus-daemon gdbus status-notifier-watcher \
    gtk-sni-tray-standalone
[ -f /usr/bin/pkexec ] || { echo "skipped: no /usr/bin/pkexec to stand in for"; exit 77; }
[ -x "$build/kavelin" ] || { echo "$build/kavelin is missing" >&2; exit 1; }
if findmnt -no PROPAGATION / | grep -q shared; then
    echo "skipped: not in a private mount namespace (run it through scripts/fake-mac)"
    exit 77
fi
work=$session_dir
trap 'session_cleanup; umount /usr/bin/pkexec 2>/dev/null' EXIT

# The stand-in prompt: one argument per line, then "--", and the exit status found in "answer".
# It runs with the runner's minimal environment, so every path in it is written out.
cat >"$work/pkexec" <<EOF
#!/bin/sh
for argument in "\$@"; do printf '%s\n' "\$argument"; done >>'$work/ran'
echo -- >>'$work/ran'
exit "\$(cat '$work/answer')"
EOF
chmod 755 "$work/pkexec"
mount --bind "$work/pkexec" /usr/bin/pkexec

# A StatusNotifierItem host on a bus where no session manager answers the restart request, as on
# a desktop that offers none.
session_start_x 1024x768
session_start_bus
session_start_sni_host
session_start_program "$build/kavelin"
wait_for "the item never registered with the watcher" sni_item
icon_x=$((1024 - 15)) icon_y=15

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
# 1. "Data 10": Return answers nothing in the choice alert; "Au prochain redémarrage", prompt
#    granted: the next-start alert, whose one button "OK" takes Return and nothing takes Escape.
echo 0 >"$work/answer"
choose_in_menu Down Down Down Return
answer Return
sleep 0.5
alert_up && [ ! -s "$work/ran" ] || fail "Return answered the choice alert"
# Meanwhile the menu that a host reads offers nothing but the notice.
sni_menu | grep -qE "^\(uint32 [0-9]+, \(0, \{[^}]*\}, \[<\([0-9]+, \{'enabled': <false>, 'label': <'Autorisation en cours…'>, 'visible': <true>\}, @av \[\]\)>\]\)\)$" ||
    fail "the exported menu is not the busy one: $(sni_menu)"
answer Tab space
wait_for "the command never reached the prompt" test -s "$work/ran"
answer Escape
sleep 0.5
alert_up || fail "Escape closed the next-start alert: it was another alert"
answer Return
wait_for "the next-start alert stayed" no_alert
prompt_got "/usr/sbin/bless --mount '/Volumes/Data 10' --setBoot --nextonly </dev/null"

# 2. "Données", "Redémarrer maintenant…", granted; no session answers the restart request: the
#    fallback alert, closed with Escape.
: >"$work/ran"
choose_in_menu Down Down Down Down Return
answer space
wait_for "the command never reached the prompt" test -s "$work/ran"
answer Escape
wait_for "the fallback alert stayed" no_alert
prompt_got "/usr/sbin/bless --mount '/Volumes/Données' --setBoot </dev/null"

# 3. "data 2", restart, prompt dismissed: nothing more shows.
: >"$work/ran"
echo 126 >"$work/answer"
choose_in_menu Down Down Return
answer space
wait_for "the command never reached the prompt" test -s "$work/ran"
sleep 1
alert_up && fail "an alert followed a dismissed prompt"

# 4. Quit, the last item of the menu: the program ends with status 0.
choose_in_menu Up Return
wait_for_program_end
[ "$status" -eq 0 ] || fail "the program ended with status $status: $(cat "$work/program.log")"
echo "end to end: three selections reached the prompt as expected, the busy menu meanwhile"
