#!/usr/bin/env bash
# Runs a command on a private virtual display (Xvfb at 96 dpi, 1280x1024 unless
# VIRTUAL_DISPLAY_SCREEN says otherwise, e.g. 1920x1400x24) and stops the display afterwards;
# the command's exit status is this script's. Xvfb picks a free display number itself
# (-displayfd), so two runs that start at the same moment, or that share the machine's socket
# namespace from different containers, never end up on the same display.
# Without -noreset, Xvfb resets each time its last client leaves and drops a connection that
# arrives meanwhile: a program started just after a short-lived client (xdotool, xprop) would
# now and then fail with "could not connect to display".
# Usage: scripts/virtual-display.sh COMMAND [ARGUMENT...]
set -euo pipefail
work=$(mktemp -d)
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${VIRTUAL_DISPLAY_SCREEN:-1280x1024x24}" -dpi 96 -nolisten tcp -noreset 3>"$work/display" 2>"$work/log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
if ! read -r number <"$work/display"; then
  echo "The virtual display did not start:" >&2
  cat "$work/log" >&2
  exit 1
fi
DISPLAY=:$number "$@"
