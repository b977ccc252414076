#!/bin/sh
# Builds the Linux preset and starts the store server. Until the server program exists,
# it runs the test programs instead.
#   scripts/run-server.sh [server arguments ...]
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux

if [ -x build/linux/server/pelorin ]; then
    exec build/linux/server/pelorin "$@"
fi
echo "The server program is not built yet; running the test programs." >&2
ctest --preset linux -j2
