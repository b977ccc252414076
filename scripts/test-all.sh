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
# Wine's 32-bit part is installed everywhere (scripts/setup.sh), yet some kernels refuse
# 32-bit programs (no IA-32 emulation). There the 32-bit client DLL and the setup program
# (itself a 32-bit program) are built, and what would have to run them is skipped, said
# so in the output.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
skipped_32bit() { echo "=== $1: tests skipped: this machine does not run 32-bit programs ==="; }
for preset in $presets; do
    echo "=== $preset ==="
    if [ "$preset" = setup ]; then
        scripts/build-setup.sh
        runs_32bit || { skipped_32bit setup; continue; }
        bash packaging/tests/windows-setup.sh build/setup/Pelorin-*-setup.exe build/setup/install-test
        continue
    fi
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = windows32 ] && ! runs_32bit; then
        skipped_32bit windows32
        continue
    fi
    ctest --preset "$preset" -j2
done
