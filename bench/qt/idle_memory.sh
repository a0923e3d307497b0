#!/bin/sh
# Resident memory of the tray application once idle: starts it on a private Xvfb with a tray
# host (trayer), waits for the icon to dock and the program to settle, then reads VmRSS and the
# proportional set size. Usage: bench/qt/idle_memory.sh [build-dir]
set -eu
build=${1:-build}
for tool in Xvfb trayer xwininfo; do
    command -v "$tool" >/dev/null || { echo "idle_memory: $tool is not installed" >&2; exit 77; }
done
config=$(mktemp -d)
exec 3>"$config/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
trap 'kill $app $tray $xvfb 2>/dev/null; rm -rf "$config"' EXIT
while [ ! -s "$config/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$config/display")"
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    --transparent false >/dev/null 2>&1 &
tray=$!
sleep 1
XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=xcb "$build/kavelin" >/dev/null 2>&1 &
app=$!
i=0
until xwininfo -root -tree | grep -q '("kavelin" "kavelin")'; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "idle_memory: the icon never docked" >&2; exit 1; }
    sleep 0.1
done
sleep 3
rss=$(awk '/^VmRSS/ {print $2}' /proc/$app/status)
pss=$(awk '/^Pss:/ {print $2}' /proc/$app/smaps_rollup)
echo "idle tray application: VmRSS $((rss / 1024)) MiB ($rss kB), Pss $((pss / 1024)) MiB ($pss kB)"
