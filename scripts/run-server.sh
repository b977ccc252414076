#!/bin/sh
# Builds the store server of the Linux preset and starts it listening.
#   scripts/run-server.sh [server switches ...]
# Without switches it listens on port 8088 at once (/PORT8088 /START): the window's own
# default, 88, needs root on Linux. Switches given here come after those and win, for
# example /PORT9000, /LOG2 (log.txt next to the program) or /DEBUG. The data folder is
# build/linux/server/data. Ctrl+C (or SIGTERM) stops the server and ends the program;
# on a terminal, Enter presses the window's start/stop button, a number changes the
# port, q closes.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh server
cmake --preset linux >/dev/null
cmake --build --preset linux --target pelorin
exec build/linux/server/pelorin /PORT8088 /START "$@"
