#!/bin/bash
# Runs a command against a store server of its own:
#   with-store-server.sh SERVER WORKDIR COMMAND [ARGUMENT...]
# The server program is copied into a fresh WORKDIR (so its data folder is WORKDIR/data),
# started on a free loopback port with /PORTn /START (a Windows .exe runs under the Wine
# loader named in WINELOADER), and stopped again afterwards. "@PORT@" in the arguments
# becomes the port, which is also in PELORIN_TEST_PORT. The exit status is the command's.
# A launcher named in PELORIN_TEST_RUNNER (scripts/memcheck.sh) runs the server, which
# then takes longer to listen, and fails the command when the server had errors.
set -u
server=$1 workdir=$2
shift 2

rm -rf "$workdir"
mkdir -p "$workdir"
cp "$server" "$workdir/"
program="$workdir/$(basename "$server")"

. "$(dirname "$0")/../../testing/ports.sh"
free_port

if [[ $program == *.exe ]]; then
    "${WINELOADER:?the Wine loader of the program}" "$program" "/PORT$port" /START \
        </dev/null >"$workdir/server.log" 2>&1 &
else
    runner=()
    [[ -n ${PELORIN_TEST_RUNNER:-} ]] && runner=("$PELORIN_TEST_RUNNER")
    "${runner[@]}" "$program" "/PORT$port" /START </dev/null >"$workdir/server.log" 2>&1 &
fi
server_pid=$!
stop_server() {
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
}
trap stop_server EXIT

for _ in $(seq 1 300); do
    listening "$port" && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "the server ended before it listened:" >&2
        cat "$workdir/server.log" >&2
        exit 1
    fi
    sleep 0.1
done
if ! listening "$port"; then
    echo "the server does not listen on port $port after 30 s" >&2
    exit 1
fi

export PELORIN_TEST_PORT=$port
"${@//@PORT@/$port}"
status=$?
if [ -n "${PELORIN_TEST_RUNNER:-}" ]; then
    trap - EXIT
    kill "$server_pid" 2>/dev/null
    wait "$server_pid"
    server_status=$?
    if [ "$server_status" != 0 ]; then
        echo "FAILED: the server ended with status $server_status:" >&2
        cat "$workdir/server.log" >&2
        [ "$status" = 0 ] && status=$server_status
    fi
fi
exit "$status"
