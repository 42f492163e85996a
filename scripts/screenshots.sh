#!/usr/bin/env bash
# Takes the README's screenshots: runs the built program on a demonstration directory on a
# virtual display, works it with xdotool as a user would, and captures each window.
# Usage: scripts/screenshots.sh [OUTPUT_DIR]   (default docs/screenshots; build first)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
build_dir=${BUILD_DIR:-build}
mkdir -p "$out"

if [[ -z "${SCREENSHOT_DISPLAY_READY:-}" ]]; then
  export SCREENSHOT_DISPLAY_READY=1
  exec bash scripts/virtual-display.sh "$0" "$@"
fi

# Set before the trap: under set -u an unset pid would stop the trap before it cleans up.
pid=
work=$(mktemp -d)
trap '[[ -n "$pid" ]] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export ORVANDEL_SYSTEM_DIR=$work/system XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$build_dir/orvandel-db" init 2>/dev/null
"$build_dir/orvandel-db" demo 500 --seed 1 2>/dev/null

"$build_dir/orvandel" &
pid=$!

# newest_window SIZE: the visible window of the program with that size, waiting for it.
window_of_size() {
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      if xdotool getwindowgeometry "$id" | grep -q "Geometry: $1\$"; then echo "$id"; return; fi
    done
    sleep 0.1
  done
  echo "no window of size $1" >&2; exit 1
}
capture() {
  [[ -n "$1" ]] || exit 1
  sleep 0.4
  import -window "$1" "$out/$2.png"
}

capture "$(window_of_size 453x341)" splash
main=$(window_of_size 787x586)
xdotool mousemove --window "$main" 80 198 sleep 0.2 mousemove --window "$main" 82 199
capture "$main" main
xdotool click 1
query=$(window_of_size 616x444)
xdotool type --delay 20 "Shipping"
xdotool key Return
capture "$query" query
xdotool mousemove --window "$query" 120 118 click --repeat 2 --delay 60 1
capture "$(window_of_size 540x398)" info
xdotool windowraise "$main" sleep 0.3 mousemove --window "$main" 90 313 click 1
capture "$(window_of_size 382x237)" about
echo "screenshots in $out"
