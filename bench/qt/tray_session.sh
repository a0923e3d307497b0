#!/usr/bin/env bash
# The tray application in a session of tests/desktop/session.sh: the time from its start to a docked icon,
# over several starts, in an XEmbed tray (trayer: the icon window embedded in the panel) and with
# a StatusNotifierItem host (the item registered with the watcher); then the resident memory of
# the last one, idle with its icon docked, and the heap kept per menu opening under that host.
# Usage: bench/qt/tray_session.sh [build-dir] [starts]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
starts=${2:-10}
source "$(dirname "$0")/../../tests/desktop/session.sh"
session_require Xvfb trayer xwininfo xprop dbus-daemon gdbus status-notifier-watcher \
    gtk-sni-tray-standalone

docked_in_trayer() { xwininfo -tree -id "$tray_panel" | grep -q '("kavelin" "kavelin")'; }
# Milliseconds from the program's start until the check succeeds, for each of the starts.
time_to_dock() { # CHECK
    local times=() begin now
    for _ in $(seq "$starts"); do
        begin=$(date +%s%N)
        session_start_program "$build/kavelin"
        until "$1" >/dev/null; do
            now=$(date +%s%N)
            [ $((now - begin)) -lt 20000000000 ] || fail "the icon never docked"
        done
        now=$(date +%s%N)
        times+=($(((now - begin) / 1000000)))
        kill "$app"
        wait "$app" 2>/dev/null
        while "$1" >/dev/null; do sleep 0.05; done # the host lets the icon go
    done
    printf '%s\n' "${times[@]}" | sort -n |
        awk '{ t[NR] = $1 } END { printf "median %d ms (min %d, max %d, %d starts)\n", t[int((NR + 1) / 2)], t[1], t[NR], NR }'
}

session_start_x
session_start_host xembed
tray_panel=$(panel)
echo "start to docked icon, XEmbed tray (trayer): $(time_to_dock docked_in_trayer)"
session_stop_host
session_start_bus
session_start_host sni
echo "start to docked icon, StatusNotifierItem host: $(time_to_dock sni_item)"

session_start_program "$build/kavelin"
eventually sni_item || fail "the icon never docked"
sleep 3
rss=$(awk '/^VmRSS/ {print $2}' /proc/$app/status)
pss=$(awk '/^Pss:/ {print $2}' /proc/$app/smaps_rollup)
echo "idle tray application: VmRSS $((rss / 1024)) MiB ($rss kB), Pss $((pss / 1024)) MiB ($pss kB)"
kill "$app"
wait "$app" 2>/dev/null

# The heap kept per menu opening while the menu is exported to the StatusNotifierItem host.
echo "heap kept per menu opening, StatusNotifierItem host:"
HOME="$session_dir/home" QT_QPA_PLATFORM=xcb "$build/kavelin_menu_bench" --benchmark_filter=menuOpeningHeap |
    grep -o 'heap_B_per_opening=[0-9.]*'
