#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need; skips apt when all are
# there already.
set -euo pipefail

packages=(
  cmake make g++ pkg-config python3
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins qt6-translations-l10n
  libfontconfig-dev libxcb1-dev
  libsqlcipher-dev sqlcipher libicu-dev libopencc-dev rime-data-luna-pinyin
  postgresql libpq-dev openssl
  libcsv-dev libxlsxwriter-dev libminizip-dev python3-openpyxl
  fonts-arphic-uming fonts-arphic-ukai fonts-liberation xfonts-terminus
  xvfb xauth xdotool x11-utils imagemagick
  dpkg-dev file poppler-utils
  "$@"
)

# One question to dpkg for all of them: one each took a second.
declare -A installed=()
while read -r package status; do
  [[ "$status" == "install ok installed" ]] && installed[$package]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for package in "${packages[@]}"; do
  [[ -n "${installed[$package]:-}" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
