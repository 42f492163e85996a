#!/usr/bin/env bash
# Takes the README's screenshots: runs the built program on a demonstration directory on a
# virtual display, works it with xdotool as a user would, and captures each window and each kind
# of message box.
# Usage: scripts/screenshots.sh [OUTPUT_DIR]   (default docs/screenshots; build first)
# QT_SCALE_FACTOR=2 in the environment takes them at 200 %.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
build_dir=${BUILD_DIR:-build}
mkdir -p "$out"

if [[ -z "${SCREENSHOT_DISPLAY_READY:-}" ]]; then
  export SCREENSHOT_DISPLAY_READY=1
  VIRTUAL_DISPLAY_SCREEN=1920x1400x24 exec bash scripts/virtual-display.sh "$0" "$@"
fi

scale=${QT_SCALE_FACTOR:-1}
# Set before the trap: under set -u an unset pid would stop the trap before it cleans up.
pid=
work=$(mktemp -d)
trap '[[ -n "$pid" ]] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export ORVANDEL_SYSTEM_DIR=$work/system XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# px N: N layout pixels on the screen at the current scale.
px() { echo $(($1 * scale)); }
# window_of_size W H: the visible window of the program of that layout size, waiting for it.
window_of_size() {
  local size
  size="$(px "$1")x$(px "$2")"
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      if xdotool getwindowgeometry "$id" | grep -q "Geometry: $size\$"; then echo "$id"; return; fi
    done
    sleep 0.1
  done
  echo "no window of size $size" >&2; exit 1
}
# box_titled TITLE: the visible message box with that title, waiting for it.
box_titled() {
  for _ in $(seq 100); do
    for id in $(xdotool search --all --onlyvisible --pid "$pid" --name "^$1\$" 2>/dev/null); do
      if ! xdotool getwindowgeometry "$id" | grep -q "Geometry: $(px 787)x$(px 586)\$"; then
        echo "$id"; return
      fi
    done
    sleep 0.1
  done
  echo "no message box titled $1" >&2; exit 1
}
capture() {
  [[ -n "$1" ]] || exit 1
  sleep 0.4
  import -window "$1" "$out/$2.png"
}
# click_at WINDOW X Y: a click at layout pixel (X, Y) of the window.
click_at() { xdotool mousemove --window "$1" "$(px "$2")" "$(px "$3")" click 1; }
answer() { # answer WINDOW KEY
  xdotool windowfocus --sync "$1" key "$2"
  sleep 0.3
}

# A start-up without a directory file: its one message.
"$build_dir/orvandel" &
pid=$!
box=$(box_titled "数据处理")
capture "$box" msg-startup
answer "$box" Return
wait "$pid" || true

"$build_dir/orvandel-db" init 2>/dev/null
"$build_dir/orvandel-db" demo 500 --seed 1 2>/dev/null
# Two changes of the telephone of the company the query below lists first, for its history.
first=$("$build_dir/orvandel-db" find --name Shipping --format csv 2>/dev/null | sed -n 2p | cut -d, -f1)
for tel in "+30 210 4000001" "+30 210 4000002"; do
  printf 'id,tel\n%s,%s\n' "$first" "$tel" >"$work/tel.csv"
  "$build_dir/orvandel-db" import "$work/tel.csv" >/dev/null 2>&1
done
"$build_dir/orvandel" &
pid=$!

capture "$(window_of_size 453 341)" splash
main=$(window_of_size 787 586)
xdotool mousemove --window "$main" "$(px 80)" "$(px 198)" sleep 0.2 \
  mousemove --window "$main" "$(px 82)" "$(px 199)"
capture "$main" main
xdotool click 1
query=$(window_of_size 616 444)
xdotool type --delay 20 "Shipping"
xdotool key Return
capture "$query" query

# The search window (Ctrl+F): names whose pinyin initials hold "hy", with 3 to 10 tankers, run
# with Enter; its totals line.
xdotool key ctrl+f
search=$(window_of_size 560 420)
xdotool type --delay 20 "hy"
xdotool key Tab Tab Tab Tab Tab
xdotool type --delay 20 "3"
xdotool key Tab
xdotool type --delay 20 "10"
xdotool key Return
sleep 1
xdotool windowraise "$search"
capture "$search" search
xdotool windowfocus --sync "$search" key Escape
xdotool windowraise "$query" sleep 0.3
click_at "$query" 300 25 # the name field: the query again, newest first
xdotool key Return
sleep 0.5
xdotool mousemove --window "$query" "$(px 120)" "$(px 118)" click --repeat 2 --delay 60 1
info=$(window_of_size 540 398)
capture "$info" info
xdotool key ctrl+h
history=$(window_of_size 700 420)
capture "$history" history
xdotool windowfocus --sync "$history" key Escape
xdotool windowraise "$info" sleep 0.3

# The detail screen's boxes: the delete question (answered No), a refused number.
click_at "$info" 286 346
box=$(box_titled "提示:")
capture "$box" msg-delete
answer "$box" n
click_at "$info" 150 140
xdotool key ctrl+a type "12 ships"
click_at "$info" 390 346
box=$(box_titled "提示:")
capture "$box" msg-refused
answer "$box" Return
click_at "$info" 490 346 # 退出

# A new record: added.
xdotool windowraise "$main" sleep 0.3
click_at "$main" 82 260
info=$(window_of_size 540 398)
click_at "$info" 150 25
xdotool type --delay 20 "Orvandel Test Lines"
click_at "$info" 390 346
box=$(box_titled "提示:")
capture "$box" msg-added
answer "$box" Return

# The About box, and its system information button with no tool named.
xdotool windowraise "$main" sleep 0.3
click_at "$main" 90 313
about=$(window_of_size 382 237)
capture "$about" about
click_at "$about" 320 207
box=$(box_titled "Orvandel")
capture "$box" msg-sysinfo
answer "$box" Return
# A printed list: the first page of the PDF that the tool writes for a search.
"$build_dir/orvandel-db" find --min Tank_No=3 --sort name --output "$work/list.pdf" 2>/dev/null
pdftoppm -png -r "$((60 * scale))" -f 1 -l 1 -singlefile "$work/list.pdf" "$out/printed-list"
echo "screenshots in $out"
