#!/usr/bin/env bash
# Installs what is needed, builds, makes a demonstration directory when there is none yet, and
# starts the program. Without a desktop ($DISPLAY unset) it runs on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh hardinfo
build_dir=${BUILD_DIR:-build}

# With no source changed since the last build made here, the build is skipped: make alone takes
# several seconds to find that there is nothing to do. The mark is taken before the build, so a
# change made while it runs is built the next time.
built=$build_dir/.built-for-run
if [[ -e "$built" && -z "$(find CMakeLists.txt cmake src resources tools -newer "$built" -print -quit)" ]]; then
  echo "Nothing changed since the last build."
else
  mkdir -p "$build_dir"
  touch "$built.new"
  bash scripts/build.sh
  mv "$built.new" "$built"
fi

# A first start makes the directory file and names hardinfo for the About box, as the installed
# launcher does; here the new directory is then filled with demonstration companies.
database=$("$build_dir/orvandel-db" where)
if [[ ! -e "$database" ]]; then
  echo "No directory at $database yet: creating a demonstration directory of 2000 companies."
  "$build_dir/first-start"
  "$build_dir/orvandel-db" demo 2000
fi

if [[ -z "${DISPLAY:-}" ]]; then
  echo "No desktop found (DISPLAY is not set): starting on a virtual display (Xvfb)."
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
  chmod 700 "$XDG_RUNTIME_DIR"
  exec bash scripts/virtual-display.sh "$build_dir/orvandel"
fi
exec "$build_dir/orvandel"
