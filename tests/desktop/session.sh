# A desktop session for end-to-end tests and benchmarks (bash): private X server and bus, tray hosts
# of both kinds, the program, helpers that find its windows and drive pointer and keys; all stopped on exit.
session_dir=$(mktemp -d /tmp/kavelin-session.XXXXXX) session_pids=()
session_cleanup() { kill "${session_pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$session_dir"; }
trap session_cleanup EXIT
# With KAVELIN_SESSION_SHOTS=folder, a failure leaves a screenshot of the session there.
fail() {
    echo "FAILED: $*" >&2
    [ -z "${KAVELIN_SESSION_SHOTS:-}" ] || import -window root "$KAVELIN_SESSION_SHOTS/failed-$$.png" || true
    exit 1
}
# Exits 77 (skipped) unless every tool is installed.
session_require() { # TOOL...
    for tool; do command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (see scripts/setup)"; exit 77; }; done
}
# Runs the command until it succeeds, for up to thirty seconds (the machine may be busy).
eventually() { for _ in $(seq 600); do "$@" &>/dev/null && return 0; sleep 0.05; done; return 1; }
wait_for() { eventually "${@:2}" || fail "$1"; } # WHAT COMMAND...

session_start_x() { # [WIDTHxHEIGHT]
    session_screen=${1:-800x600}
    Xvfb -displayfd 3 -screen 0 "${session_screen}x24" -nolisten tcp 3>"$session_dir/display" &>/dev/null & session_pids+=($!)
    wait_for "Xvfb did not start" test -s "$session_dir/display"
    export DISPLAY=:$(cat "$session_dir/display") && unset WAYLAND_DISPLAY
    # No session bus unless one is started: nothing of the caller's desktop answers.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$session_dir/no-bus"
}
session_start_bus() {
    dbus-daemon --session --nofork --address="unix:path=$session_dir/bus" &>/dev/null & session_pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$session_dir/bus"
    wait_for "the session bus did not start" gdbus call --session -d org.freedesktop.DBus \
        -o /org/freedesktop/DBus -m org.freedesktop.DBus.GetId
}

# A window manager (openbox, with its stock settings), which stacks, focuses and minimises windows
# as a desktop does.
session_start_window_manager() {
    mkdir -p "$session_dir/wm"
    HOME="$session_dir/wm" XDG_CONFIG_HOME="$session_dir/wm" openbox --sm-disable &>/dev/null & session_pids+=($!)
    wait_for "the window manager did not start" xprop -root _NET_SUPPORTING_WM_CHECK
}

# A tray host along the top of the screen, $bar pixels high: xembed (trayer, its panel at the
# right end) or sni (a StatusNotifierWatcher on the session bus, then a bar that hosts items).
session_start_host() { # xembed|sni
    session_host_kind=$1
    if [ "$1" = xembed ]; then
        bar=24
        trayer --edge top --align right --widthtype request --height $bar --SetDockType true --SetPartialStrut true \
            --transparent false &>/dev/null & session_host=$! && session_pids+=($!)
        wait_for "trayer shows no panel" panel
    else
        bar=30
        status-notifier-watcher &>/dev/null & session_watcher=$! && session_pids+=($!)
        wait_for "no StatusNotifierWatcher on the bus" watcher_get RegisteredStatusNotifierItems
        gtk-sni-tray-standalone --top --end --size $bar &>/dev/null & session_host=$! && session_pids+=($!)
        wait_for "the tray never registered as a host" eval 'watcher_get IsStatusNotifierHostRegistered | grep -q true'
    fi
    # What a window manager publishes for a bar along the top: the screen less the bar.
    xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, $bar, ${session_screen%x*}, $((${session_screen#*x} - bar))"
}
session_stop_host() { kill $session_host ${session_watcher:-}; wait $session_host ${session_watcher:-} || true; session_watcher=; }
panel() { xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "panel": ("panel" "trayer").*/\1/p' | grep .; }
watcher_get() { gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
    -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null; }
# The bus name of the one item registered with the watcher; the menu it exports, read as a host would.
sni_item() { watcher_get RegisteredStatusNotifierItems | grep -o ':[0-9.]*' | head -1 | grep .; }
sni_menu() {
    gdbus call --session -d "$(sni_item)" -o /MenuBar -m com.canonical.dbusmenu.AboutToShow 0 &>/dev/null
    gdbus call --session -d "$(sni_item)" -o /MenuBar -m com.canonical.dbusmenu.GetLayout -- 0 -1 '[]'
}

# Starts the program with a configuration folder of its own; $app is its process.
session_start_program() { # PROGRAM [ARGUMENT...]
    # NOTE: no runtime folder of its own: with XDG_RUNTIME_DIR set, the XEmbed icon's tool tip
    # failed to show in about one run in four. The session tests run one at a time.
    mkdir -p "$session_dir/home" "$session_dir/config"
    HOME="$session_dir/home" XDG_CONFIG_HOME="$session_dir/config" QT_QPA_PLATFORM=xcb \
        "$@" >"$session_dir/program.log" 2>&1 & app=$! && session_pids+=($!)
}
# The program ends by itself, with status 0.
wait_for_clean_exit() {
    wait_for "the program is still running" eval '! kill -0 $app 2>/dev/null'
    wait "$app" || fail "the program ended with status $?: $(cat "$session_dir/program.log")"
}
# The icon docked in the host; sets icon_x, icon_y to its middle.
icon_docked() {
    if [ "$session_host_kind" = sni ]; then
        wait_for "the item did not register with the watcher" sni_item
        icon_x=$((${session_screen%x*} - 15)) icon_y=15 # the host draws it at its bar's right end
    else
        wait_for "the icon was not embedded in the tray" icon_window
        read -r _ icon_x icon_y _ <<<"$(icon_window)" && icon_x=$((icon_x + 8)) icon_y=$((icon_y + 8))
    fi
}

# The visible windows of a program that an awk condition on x, y, width, height ($2-$5) selects: id x y w h.
window() { # CLASSNAME CONDITION
    local id geometry X Y WIDTH HEIGHT
    for id in $(xdotool search --onlyvisible --classname "$1" 2>/dev/null); do
        geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) && eval "$geometry" && echo "$id $X $Y $WIDTH $HEIGHT"
    done | awk -v bar="$bar" "$2" | grep .
}
icon_window() { window '^kavelin$' '$3 < bar && $4 < 64'; }
# Menus open right below the bar: the full one several lines high, the busy one a single line but
# wider than a tool tip; alerts in the middle of the screen; the host's own menu below the bar.
menu_window() { window '^kavelin$' '$3 >= bar && $3 < 100 && $5 >= 40'; }
busy_menu() { window '^kavelin$' '$3 >= bar && $3 < 100 && $4 >= 100 && $5 < 40'; }
tooltip_window() { window '^kavelin$' '$3 >= bar && $4 < 100 && $5 < 40'; }
alert() { window '^kavelin$' '$3 >= 100'; }
host_menu_window() { window '^gtk-sni-tray-standalone$' '$3 >= bar && $5 >= 60'; }

press() { xdotool key --delay 80 "$@"; }
# Moves the pointer and waits until the server has it there. NOTE: moves chained in one xdotool call
# can reach the server out of order under load (the pointer ended back where the chain began, off
# the icon), so each move is a call of its own, checked before the next.
pointer_at() { [ "$(xdotool getmouselocation --shell | head -n 2 | tr '\n' ' ')" = "X=$1 Y=$2 " ]; } # X Y
pointer_to() { # X Y
    xdotool mousemove --sync "$1" "$2" && eventually pointer_at "$1" "$2" || fail "the pointer did not reach $1,$2"
}
# Moves the pointer onto the icon and clicks, or only hovers, until the check succeeds: a new host may
# not draw the icon yet, a tool tip waits. A menu takes keys later. The icon is looked for again each
# time, since a tray lays its icons out anew as they come and go. NOTE: Qt drops a pointer motion to
# the place where it last saw the pointer, and it sees none over the root window: landing beside the
# middle first, then on it, gives Qt a move it has not seen yet, or no tool tip ever wakes up.
at_icon_until() { # WHAT BUTTON|hover CHECK...
    for _ in 1 2 3 4 5; do
        icon_docked
        pointer_to 0 300 && pointer_to $((icon_x - 1)) "$icon_y" && pointer_to "$icon_x" "$icon_y"
        [ "$2" = hover ] || xdotool click "$2"
        for _ in $(seq 60); do "${@:3}" >/dev/null && sleep 0.3 && return 0; sleep 0.05; done
    done
    fail "$1"
}
# A click on the icon opens the menu against it, below the bar; then keys in the menu.
choose_in_menu() { # BUTTON KEY...
    local x y width && wait_for "a menu stayed open" eval "! menu_window"
    at_icon_until "the menu did not open" "$1" eval 'menu=$(menu_window)'
    read -r _ x y width _ <<<"$menu"
    [ "$y" -eq "$bar" ] && [ "$x" -le "$icon_x" ] && [ $((x + width)) -ge "$icon_x" ] ||
        fail "the menu is at $x,$y ($width wide), not against the icon at $icon_x,$icon_y below a bar of $bar"
    press "${@:2}"
}
# Keys to the alert that is up, once it has the keyboard.
answer() { # KEY...
    wait_for "no alert took the keyboard" eval '[ "$(xdotool getwindowfocus)" = "$(alert | cut -d" " -f1)" ]' && press "$@"
}
