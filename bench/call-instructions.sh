#!/bin/bash
# Instructions of one store client call, counted by valgrind's callgrind from the entry
# into PelorinClient::GetFile to its return, against a store server on a loopback port.
#
#   bench/call-instructions.sh [--build DIR]
#
# Two figures, each with its split per object file (the client library's own code, the C
# library, the C++ library, the dynamic loader):
#   cold: the pelorin-client tool's one GetFile of a 100-byte file: the first call of a
#         process, so it carries the loader's symbol binding and the name service set-up;
#   warm: client-latency's ten GetFile calls of 1 KiB, after other calls of the same
#         process, divided by ten.
# The counts do not depend on timing; runs of one build differ by a few tenths of a
# percent (how the answer's bytes arrive). The server is stopped by its process id.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build/linux"
case "${1:-}" in
    --build) build=$2 ;;
    "") ;;
    *) echo "usage: $0 [--build DIR]" >&2; exit 2 ;;
esac
build=$(cd "$build" && pwd)
for program in server/pelorin client/pelorin-client bench/client-latency; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build it first" >&2; exit 1; }
done
command -v valgrind >/dev/null || { echo "valgrind is missing (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d /tmp/pelorin-callgrind-XXXXXX)
cp "$build/server/pelorin" "$work/"
mkdir "$work/data"
head -c 100 /dev/zero | tr '\0' x >"$work/data/small"

. "$(dirname "$0")/../testing/ports.sh"
free_port
"$work/pelorin" "/PORT$port" /START </dev/null >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do listening "$port" && break; sleep 0.1; done
listening "$port" || { echo "the server does not listen on port $port" >&2; exit 1; }

# Self cost (instructions) per object file of a callgrind profile, divided by $2, largest
# first; the cost line after a "calls=" line is the call's inclusive cost, not counted.
per_object() {
    awk -v calls="$2" '
        function object(entry,  id, name) {
            id = entry; sub(/\).*/, "", id); sub(/^\(/, "", id)
            name = entry; sub(/^\([0-9]+\) ?/, "", name)
            if (name != "") names[id] = name
            return (id in names) ? names[id] : entry
        }
        /^ob=/ { ob = object(substr($0, 4)); next }
        /^cob=/ { object(substr($0, 5)); next }
        /^calls=/ { skip = 1; next }
        /^[0-9+*-]/ {
            if (skip) { skip = 0; next }
            cost[ob] += $2
        }
        END {
            for (o in cost) {
                short = o; sub(/.*\//, "", short)
                printf "%12d  %s\n", cost[o] / calls, short
            }
        }' "$1" | sort -nr
}

count() {  # label, calls, program and arguments
    local label=$1 calls=$2
    shift 2
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" --collect-atstart=no \
        --toggle-collect='pelorin::PelorinClient::GetFile*' "$@" >/dev/null 2>"$work/valgrind.log"
    per_object "$work/callgrind.out" "$calls" >"$work/objects"
    printf '%s: %d instructions per call\n' "$label" \
        "$(awk '{ n += $1 } END { print n }' "$work/objects")"
    cat "$work/objects"
}

count "cold (pelorin-client, one GetFile of 100 bytes)" 1 \
    "$build/client/pelorin-client" --port "$port" GetFile small
count "warm (client-latency, ten GetFile of 1 KiB)" 10 \
    "$build/bench/client-latency" --port "$port" --calls 10
