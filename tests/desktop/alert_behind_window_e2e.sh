#!/usr/bin/env bash
# Under a window manager, a user picks a volume of the fake Mac, then clicks another window, which
# covers the choice alert, and later minimises the alert: without a taskbar, a click on the tray
# icon is the only way back. Each time it shows the busy menu and brings the alert to the front
# with the keyboard; with an SNI host or an XEmbed tray:
#   scripts/fake-mac /bin/bash tests/desktop/alert_behind_window_e2e.sh BUILD_DIR sni|xembed
set -euo pipefail
build=$1 host=$2
source "$(dirname "$0")/session.sh"
session_require Xvfb xdotool xwininfo xprop xmessage openbox dbus-daemon gdbus \
    $([ "$host" = xembed ] && echo trayer || echo status-notifier-watcher gtk-sni-tray-standalone)

session_start_x 1024x768
session_start_bus
session_start_window_manager
session_start_host "$host"
session_start_program "$build/kavelin"
icon_docked

# Window ids as the window manager's stacking list writes them, bottom first.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | xargs printf '%d\n'; }
above() { # UPPER LOWER: UPPER is stacked above LOWER
    stacking | awk -v upper="$1" -v lower="$2" '$1 == lower { seen = 1 } $1 == upper && seen { found = 1 } END { exit !found }'
}
focused() { [ "$(xdotool getwindowfocus)" = "$1" ]; }
# A click on the icon while the alert is out of reach: the busy menu, then the alert in front, with
# the keyboard; Escape closes the menu and leaves the alert as it is.
icon_brings_back() { # WHAT
    at_icon_until "a click during the flow opened no busy menu ($1)" 1 busy_menu
    wait_for "the alert was not brought back ($1)" eval 'focused $alert && above $alert $other'
    press Escape && wait_for "the busy menu stayed ($1)" eval '! busy_menu'
    focused "$alert" || fail "the alert lost the keyboard when the menu closed ($1)"
}

choose_in_menu 1 Down Down Down Return
wait_for "no alert came up" alert
alert=$(alert | cut -d' ' -f1)
wait_for "the alert did not take the keyboard" focused "$alert"

# Another program's window over the middle of the screen, clicked (until the window manager has
# placed it): it takes the keyboard and covers the alert.
xmessage -geometry 900x600+50+80 "Un autre programme" &>/dev/null & session_pids+=($!)
wait_for "the other window did not show" eval 'other=$(xdotool search --onlyvisible --classname xmessage | head -n 1)'
wait_for "the other window did not cover the alert" eval \
    'xdotool mousemove --sync 500 600 click 1 && focused $other && above $other $alert'
icon_brings_back "behind another window"

xdotool windowminimize --sync "$alert"
wait_for "the alert is still shown" eval '! alert'
icon_brings_back "minimised"
alert >/dev/null || fail "the minimised alert is still hidden"

# Escape answers the alert that came back ("Annuler"), and the full menu opens again, Quit last.
press Escape && wait_for "Escape did not close the choice alert" eval '! alert'
choose_in_menu $([ "$host" = sni ] && echo 1 || echo 3) Up Return
wait_for_clean_exit
echo "end to end: under a window manager, the icon brought the covered and the minimised alert back"
