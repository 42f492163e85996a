#!/usr/bin/env bash
# Renders the artwork sources (resources/art-src/*.svg) to the files the program loads:
# resources/art/ (compiled into the program), resources/images/splash.gif (installed beside it)
# and resources/desktop/orvandel.png (the desktop entry's icon).
# The output is committed, so building needs no renderer; running this again gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh librsvg2-bin

src=resources/art-src
# Everything is rendered into a staging folder first and moved into place only when all of it
# rendered, so a failed render leaves the committed files as they were.
work=$(mktemp -d)
stage=$(mktemp -d resources/.render.XXXXXX)
trap 'rm -rf "$work" "$stage"' EXIT
art=$stage/art
mkdir -p "$art" "$stage/images" "$stage/desktop"

# render SOURCE WIDTH HEIGHT OUTPUT KIND: KIND is png (full colour with alpha), icon (256
# colours), gif or jpg. Timestamps and other metadata are left out so the bytes repeat.
render() {
  local source=$1 width=$2 height=$3 output=$4 kind=$5
  rsvg-convert -w "$width" -h "$height" "$src/$source.svg" -o "$work/$source.png"
  local common=(-strip -define png:exclude-chunks=date,time)
  case $kind in
    png) convert "$work/$source.png" "${common[@]}" "PNG32:$output" ;;
    icon) convert "$work/$source.png" "${common[@]}" -colors 256 "PNG8:$output" ;;
    gif) convert "$work/$source.png" -background white -flatten -strip -colors 256 "GIF:$output" ;;
    jpg) convert "$work/$source.png" -background white -flatten -strip -quality 92 \
           -sampling-factor 4:2:0 "JPEG:$output" ;;
  esac
}

# render_also_2x SOURCE WIDTH HEIGHT OUTPUT KIND: OUTPUT, and beside it name@2x.ext twice as
# large, which the program shows on screens with two device pixels to a pixel.
render_also_2x() {
  render "$@"
  render "$1" $(($2 * 2)) $(($3 * 2)) "${4%.*}@2x.${4##*.}" "$5"
}

render_also_2x window-icon 16 16 "$art/window-icon.png" icon
render app-icon 256 256 "$stage/desktop/orvandel.png" png
render_also_2x query-picture 199 79 "$art/query-picture.png" png
for icon in icon-query icon-stop icon-delete icon-save icon-exit; do
  render_also_2x "$icon" 16 16 "$art/$icon.png" icon
done
render_also_2x globe 624 397 "$art/globe.gif" gif
render_also_2x banner 858 118 "$art/banner.jpg" jpg
render_also_2x side-panel 181 445 "$art/side-panel.jpg" jpg
render_also_2x ship 120 80 "$art/ship.jpg" jpg
for icon in menu-about menu-query menu-add menu-exit; do
  render_also_2x "$icon" 32 32 "$art/$icon.png" png
done
render_also_2x hand-cursor 32 32 "$art/hand-cursor.png" png
render_also_2x about-logo 120 67 "$art/about-logo.png" png
render_also_2x splash 453 341 "$stage/images/splash.gif" gif

mkdir -p resources/images resources/desktop
mv "$stage/images/splash.gif" "$stage/images/splash@2x.gif" resources/images/
mv "$stage/desktop/orvandel.png" resources/desktop/orvandel.png
rm -rf resources/art
mv "$art" resources/art
echo "rendered into resources/art, resources/images and resources/desktop"
