#!/usr/bin/env bash
# The program as a user starts it: the listing maps no Qt library; without a display it says so
# in one line; in a session (session.sh) the icon docks with its picture and tool tip in
# whichever tray host there is, whenever that host starts (Qt's options on the command line
# ignored), a click opens the menu against the icon, and Quit ends the program with status 0.
# Usage: program_test.sh CHECK PROGRAM
set -uo pipefail
check=$1 program=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session.sh"
contains() { case $1 in *"$2"*) return 0 ;; esac; return 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=/nonexistent "$@"; }

# The icon is docked and shows its tool tip under the pointer; sets icon_x, icon_y.
icon_docked_with_tooltip() {
    wait_for "the icon was not embedded in the tray" icon_window
    read -r _ icon_x icon_y _ <<<"$(icon_window)"
    for _ in 1 2 3 4 5; do
        xdotool mousemove 0 300 mousemove --sync $((icon_x + 8)) $((icon_y + 8)) sleep 1.5
        tooltip_window >/dev/null && break
    done
    tooltip_window >/dev/null || fail "the icon at $icon_x,$icon_y shows no tool tip: $(windows_of kavelin)"
    xdotool mousemove 0 300
}
# A click on the icon opens the menu below the bar, where the icon is.
menu_opens_below_the_bar() { # X Y [BUTTON]
    local x y width
    no_menu || fail "a menu shows before any click"
    click_until "a click did not open the menu" "$1" "$2" "${3:-1}" menu_window
    read -r _ x y width _ <<<"$(menu_window)"
    screenshot "$check-menu"
    [ "$y" -eq "$bar" ] && [ "$x" -le "$1" ] && [ $((x + width)) -ge "$1" ] ||
        fail "the menu is at $x,$y ($width wide), not against the icon at $1,$2 below a bar of $bar"
}
quit_from_menu() {
    # With the pointer off the menu and no item active, Up wraps round to "Quitter Kavelin".
    xdotool mousemove 10 500 key Up sleep 0.2 key Return
    wait_for_program_end
    [ "$status" -eq 0 ] || fail "Quit did not end the program with status 0 (status $status)"
}

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
    session_require Xvfb trayer xdotool xwininfo
    session_start_x
    session_start_xembed_host
    # Qt's own options are arguments like any other, ignored: they must not reach Qt.
    session_start_program "$program" -- -platform nonexistent -display :9
    icon_docked_with_tooltip
    menu_opens_below_the_bar $((icon_x + 8)) $((icon_y + 8)) 3
    press Escape
    wait_for "Escape did not close the menu" no_menu
    menu_opens_below_the_bar $((icon_x + 8)) $((icon_y + 8))
    quit_from_menu
    ;;
late-host)
    # At login the tray host often starts after the programs of the session, and may restart.
    session_require Xvfb trayer xdotool xwininfo
    session_start_x
    session_start_program "$program"
    sleep 2
    session_start_xembed_host
    icon_docked_with_tooltip
    session_stop_host
    session_start_xembed_host
    icon_docked_with_tooltip
    menu_opens_below_the_bar $((icon_x + 8)) $((icon_y + 8))
    quit_from_menu
    ;;
sni-host)
    session_require Xvfb xdotool xwininfo xprop dbus-daemon gdbus status-notifier-watcher \
        gtk-sni-tray-standalone
    session_start_x
    session_start_bus
    session_start_program "$program"
    sleep 2
    session_start_sni_host
    wait_for "the item never registered with the watcher" sni_item
    session_stop_host
    session_start_sni_host
    wait_for "the item did not register again with a restarted watcher" sni_item
    # The host draws the icon at the right end of its bar.
    width=${session_screen%x*} icon_x=$((width - 15)) icon_y=15
    menu_opens_below_the_bar "$icon_x" "$icon_y"
    press Escape
    wait_for "Escape did not close the menu" no_menu
    # A right click opens the host's own menu from the exported one: Options, then the switch.
    entry="$session_dir/config/autostart/kavelin.desktop"
    click_until "a right click did not open the host's menu" "$icon_x" "$icon_y" 3 host_menu_window
    screenshot "$check-host-menu"
    press Down Down Right Return
    wait_for "the launch-at-login switch never reached its handler" test -s "$entry"
    wait_for "the exported menu shows no check mark" eval \
        "sni_menu | grep -q \"'label': <'Boot au démarrage du système'>, 'toggle-state': <1>, 'toggle-type': <'checkmark'>\""
    click_until "a right click did not open the host's menu" "$icon_x" "$icon_y" 3 host_menu_window
    press Up Return
    wait_for_program_end
    [ "$status" -eq 0 ] || fail "Quit did not end the program with status 0 (status $status)"
    ;;
*) fail "unknown check $check" ;;
esac
echo "ok: $check"
