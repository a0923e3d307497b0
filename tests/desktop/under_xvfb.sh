#!/bin/sh
# Runs a Qt test program on a private Xvfb display; 77 (skipped) where Xvfb is not installed.
command -v xvfb-run >/dev/null 2>&1 || { echo "skipped: xvfb-run is not installed"; exit 77; }
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
