#!/usr/bin/env bash
# Configures when not yet configured, and builds into build/ (override with BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
# Configured once; after that the build runs CMake again by itself when a CMakeLists.txt changes.
if [[ ! -f "$build_dir/CMakeCache.txt" || ! -f "$build_dir/Makefile" ]]; then
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build_dir" -j"$(nproc)"
