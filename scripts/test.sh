#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test with CTest on a private virtual display,
# with a throw-away PostgreSQL server on the loopback interface for the tests of the server engine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh lintian # the package test checks the .deb with it
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}

# Qt wants a private runtime directory; the tests never touch the user's own data.
runtime_dir=$(mktemp -d)
chmod 700 "$runtime_dir"
server_dir=$(mktemp -d)
scripts=$PWD/scripts
trap 'bash "$scripts/test-server.sh" stop "$server_dir"; rm -rf "$runtime_dir"' EXIT
ORVANDEL_TEST_SERVER=$(bash scripts/test-server.sh start "$server_dir")
export ORVANDEL_TEST_SERVER
export XDG_RUNTIME_DIR=$runtime_dir
export XDG_DATA_HOME=$runtime_dir/data
unset ORVANDEL_SYSTEM_DIR QT_QPA_PLATFORM

cd "$build_dir"
bash "$scripts/virtual-display.sh" ctest --output-on-failure --timeout 600
