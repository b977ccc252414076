#!/bin/sh
# Builds and runs every test of the three presets: linux, asan (Linux with address and
# undefined-behaviour sanitizers) and windows (mingw-w64 cross build, tests under Wine).
#   scripts/test-all.sh [preset ...]
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

presets=${*:-"linux asan windows"}
for preset in $presets; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
