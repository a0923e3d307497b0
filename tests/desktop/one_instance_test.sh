#!/usr/bin/env bash
# One tray application per user: a second start leaves at once with status 0 while the first
# keeps running, the listing runs beside it, and a first instance that was killed does not block
# the next start. Qt draws offscreen, so no display or tray host is needed.
# Usage: one_instance_test.sh PROGRAM
set -uo pipefail
program=$1
fail() { echo "FAILED: $*" >&2; exit 1; }

runtime=$(mktemp -d)
chmod 700 "$runtime"
started=()
cleanup() {
    for pid in "${started[@]}"; do kill -9 "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$runtime XDG_CONFIG_HOME=$runtime/config QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

# Whether process $1 holds the lock, read from the kernel's table so that looking takes no lock.
holds_lock() {
    local inode
    inode=$(stat -c %i "$runtime/kavelin.lock" 2>/dev/null) || return 1
    awk -v pid="$1" -v inode="$inode" '
        $2 == "FLOCK" && $5 == pid { n = split($6, id, ":"); if (id[n] == inode) found = 1 }
        END { exit !found }' /proc/locks
}

# Starts an instance in the background and waits, generously for a loaded machine, until it holds
# the lock; its process id in $instance.
start_instance() {
    "$program" >"$runtime/$1.log" 2>&1 &
    instance=$!
    started+=("$instance")
    for _ in $(seq 600); do
        holds_lock "$instance" && return 0
        kill -0 "$instance" 2>/dev/null || fail "the $1 instance ended: $(cat "$runtime/$1.log")"
        sleep 0.1
    done
    fail "the $1 instance never took the lock"
}

start_instance first
first=$instance

# Without the guard the second start would run its own tray icon until killed: the timeout is
# only a bound on a hang, not a measure of speed.
timeout 60 env KAVELIN_TRACE=1 "$program" >"$runtime/second.log" 2>&1
status=$?
[ $status -eq 0 ] || fail "the second start: status $status, said: $(cat "$runtime/second.log")"
grep -q "another instance is running" "$runtime/second.log" ||
    fail "the second start did not leave for the first: $(cat "$runtime/second.log")"
kill -0 "$first" 2>/dev/null || fail "the first instance ended with the second"

"$program" --list-volumes >/dev/null 2>"$runtime/listing.log" ||
    fail "the listing beside a running instance: $(cat "$runtime/listing.log")"

kill -9 "$first"
wait "$first" 2>/dev/null
[ -e "$runtime/kavelin.lock" ] || fail "the killed instance left no lock file: nothing was tested"
start_instance next
echo "ok: one instance"
