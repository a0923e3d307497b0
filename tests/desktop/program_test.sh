#!/usr/bin/env bash
# The program as a user starts it, outside a session: the listing maps no Qt library, and without
# a display the program says so in one line. Sessions with a tray host: select_volume_e2e.sh.
# Usage: program_test.sh listing|no-session PROGRAM
set -uo pipefail
check=$1 program=$2
fail() { echo "FAILED: $*" >&2; exit 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=/nonexistent "$@"; }

case $check in
listing)
    out=$(env LD_DEBUG=libs "$program" --list-volumes 2>&1) || fail "the listing failed"
    [[ $out == *"calling init"* ]] || fail "the loader reports nothing: LD_DEBUG had no effect"
    [[ $out != *libQt6* && $out != *kavelin-qt* ]] || fail "the listing loads Qt"
    [[ $(headless LD_DEBUG=libs "$program" 2>&1) == *libQt6Widgets* ]] ||
        fail "application mode shows no Qt library either: the check sees nothing"
    ;;
no-session)
    for case in "|aucune session graphique" ":9876|impossible d’ouvrir la session graphique"; do
        display=${case%%|*} says=${case#*|}
        out=$(headless ${display:+DISPLAY=$display} "$program" 2>&1)
        status=$?
        [ $status -eq 1 ] && [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] && [[ $out == *"$says"* ]] ||
            fail "DISPLAY=$display: status $status, said: $out"
    done
    ;;
*) fail "unknown check $check" ;;
esac
echo "ok: $check"
