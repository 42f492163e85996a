#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test with CTest on a private virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}

# Qt wants a private runtime directory; the tests never touch the user's own data.
runtime_dir=$(mktemp -d)
chmod 700 "$runtime_dir"
trap 'rm -rf "$runtime_dir"' EXIT
export XDG_RUNTIME_DIR=$runtime_dir
export XDG_DATA_HOME=$runtime_dir/data
unset ORVANDEL_SYSTEM_DIR QT_QPA_PLATFORM

cd "$build_dir"
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" ctest --output-on-failure --timeout 600
