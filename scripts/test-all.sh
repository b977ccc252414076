#!/bin/sh
# Builds and runs every test of the presets: linux, asan (Linux with address and
# undefined-behaviour sanitizers), windows and windows32 (mingw-w64 cross builds for 64-
# and 32-bit Windows, tests under Wine; windows32 after windows, whose DLL it registers
# next to its own), fuzz (each fuzz target for a short run, fuzz/) and valgrind (every
# Linux test under valgrind's memcheck, about 15 to 25 minutes). "setup" is no preset:
# the Windows setup program, built from the trees of windows and windows32, and its
# install test under Wine.
#   scripts/test-all.sh [preset ...]
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

presets=${*:-"linux asan windows windows32 setup fuzz valgrind"}
for preset in $presets; do
    echo "=== $preset ==="
    if [ "$preset" = setup ]; then
        scripts/build-setup.sh
        bash packaging/tests/windows-setup.sh build/setup/Pelorin-*-setup.exe build/setup/install-test
        continue
    fi
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
