# A desktop session for end-to-end tests, sourced by them (bash): a private X server, a private
# session bus, a tray host of either kind started whenever the test wants it (XEmbed: trayer;
# StatusNotifierItem: status-notifier-watcher and gtk-sni-tray-standalone), the program, and
# helpers that find its windows and drive pointer and keys. Everything started is stopped on exit.

session_dir=$(mktemp -d /tmp/kavelin-session.XXXXXX)
session_pids=()
session_cleanup() {
    for pid in "${session_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$session_dir"
}
trap session_cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    screenshot failure
    exit 1
}

# Exits 77 (skipped) unless every tool is installed.
session_require() { # TOOL...
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            { echo "skipped: $tool is not installed (see scripts/setup)"; exit 77; }
    done
}

# Runs the command until it succeeds, for up to thirty seconds (the machine may be busy).
eventually() { # COMMAND...
    for _ in $(seq 600); do "$@" >/dev/null && return 0; sleep 0.05; done
    return 1
}
wait_for() { # WHAT COMMAND...
    local what=$1
    shift
    eventually "$@" || fail "$what"
}

session_start_x() { # [WIDTHxHEIGHT]
    session_screen=${1:-800x600}
    Xvfb -displayfd 3 -screen 0 "${session_screen}x24" -nolisten tcp 3>"$session_dir/display" \
        >/dev/null 2>&1 &
    session_pids+=($!)
    wait_for "Xvfb did not start" test -s "$session_dir/display"
    export DISPLAY=:$(cat "$session_dir/display")
    unset WAYLAND_DISPLAY
    # No session bus unless one is started: nothing of the caller's desktop answers.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$session_dir/no-bus"
}

session_start_bus() {
    dbus-daemon --session --nofork --address="unix:path=$session_dir/bus" >/dev/null 2>&1 &
    session_pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$session_dir/bus"
    wait_for "the session bus did not start" gdbus call --session -d org.freedesktop.DBus \
        -o /org/freedesktop/DBus -m org.freedesktop.DBus.GetId
}

# trayer at the top right; bar is set to the height of its panel.
session_start_xembed_host() {
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false >/dev/null 2>&1 &
    session_host=$!
    session_pids+=($!)
    bar=24
    wait_for "trayer shows no panel" panel
    publish_work_area
}
panel() { xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "panel": ("panel" "trayer").*/\1/p' | grep .; }

session_stop_host() {
    kill "$session_host" ${session_watcher:-} 2>/dev/null
    wait "$session_host" ${session_watcher:-} 2>/dev/null
    session_watcher=
}

# A StatusNotifierItem host on the session bus: the watcher, then a bar 30 pixels high along the
# top.
session_start_sni_host() {
    status-notifier-watcher >/dev/null 2>&1 &
    session_watcher=$!
    session_pids+=($!)
    wait_for "no StatusNotifierWatcher on the bus" watcher_get RegisteredStatusNotifierItems
    gtk-sni-tray-standalone --top --end --size 30 >/dev/null 2>&1 &
    session_host=$!
    session_pids+=($!)
    bar=30
    wait_for "the tray never registered as a host" host_registered
    publish_work_area
}
# What a window manager publishes for a bar along the top: the screen less the bar.
publish_work_area() {
    local width=${session_screen%x*} height=${session_screen#*x}
    xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, $bar, $width, $((height - bar))"
}
watcher_get() { # PROPERTY
    gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null
}
host_registered() { watcher_get IsStatusNotifierHostRegistered | grep -q true; }
# The bus name of the one item registered with the watcher.
sni_item() { watcher_get RegisteredStatusNotifierItems | grep -o ':[0-9.]*' | head -1 | grep .; }
# The menu that the item exports, as a host reads it just before showing it.
sni_menu() {
    local item
    item=$(sni_item) || return 1
    gdbus call --session -d "$item" -o /MenuBar -m com.canonical.dbusmenu.AboutToShow 0 &>/dev/null
    gdbus call --session -d "$item" -o /MenuBar -m com.canonical.dbusmenu.GetLayout -- 0 -1 '[]'
}

# Starts the program with a configuration folder of its own; $app is its process.
session_start_program() { # PROGRAM [VARIABLE=VALUE...] [-- ARGUMENT...]
    local program=$1 variables=() arguments=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do variables+=("$1"); shift; done
    [ $# -gt 0 ] && shift && arguments=("$@")
    mkdir -p "$session_dir/home" "$session_dir/config"
    env HOME="$session_dir/home" XDG_CONFIG_HOME="$session_dir/config" QT_QPA_PLATFORM=xcb \
        "${variables[@]}" "$program" "${arguments[@]}" >"$session_dir/program.log" 2>&1 &
    app=$!
    session_pids+=($!)
}

# Sets status to the program's exit status once it ends by itself.
wait_for_program_end() {
    eventually eval '! kill -0 $app 2>/dev/null' || fail "the program is still running"
    status=0
    wait "$app" || status=$?
}

# Visible windows of a program, one line each: id x y width height.
windows_of() { # CLASSNAME
    local window X Y WIDTH HEIGHT
    for window in $(xdotool search --onlyvisible --classname "$1" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        echo "$window $X $Y $WIDTH $HEIGHT"
    done
}
# The XEmbed icon: a small window of the program inside the tray bar.
icon_window() { windows_of '^kavelin$' | awk -v bar="$bar" '$3 < bar && $4 < 64' | grep .; }
# The program's menu: a window at least as wide as a menu, starting below the bar.
menu_window() { windows_of '^kavelin$' | awk -v bar="$bar" '$3 >= bar && $4 >= 100 && $5 >= 60' | grep .; }
# The tool tip: a small window of the program below the bar.
tooltip_window() { windows_of '^kavelin$' | awk -v bar="$bar" '$3 >= bar && $4 < 100 && $5 < 40' | grep .; }
# The menu of the StatusNotifierItem host, drawn by the host from the exported menu.
host_menu_window() { windows_of '^gtk-sni-tray-standalone$' | awk -v bar="$bar" '$3 >= bar && $5 >= 60' | grep .; }
no_menu() { ! menu_window >/dev/null && ! host_menu_window >/dev/null; }

# Moves the pointer there (after leaving, so that the move is seen) and clicks.
click_at() { # X Y [BUTTON]
    xdotool mousemove 0 300 mousemove --sync "$1" "$2" click "${3:-1}"
}
press() { xdotool key --delay 80 "$@"; }
# Clicks until the check succeeds: a host that has just taken the icon in may not draw it yet.
click_until() { # WHAT X Y BUTTON CHECK...
    local what=$1 x=$2 y=$3 button=$4
    shift 4
    for _ in 1 2 3 4 5; do
        click_at "$x" "$y" "$button"
        for _ in $(seq 40); do "$@" >/dev/null && return 0; sleep 0.05; done
    done
    fail "$what"
}

# For your own checking of a failing case: KAVELIN_SESSION_SHOTS=folder keeps screenshots.
screenshot() { # NAME
    [ -n "${KAVELIN_SESSION_SHOTS:-}" ] && import -window root "$KAVELIN_SESSION_SHOTS/$1.png"
    return 0
}
