#!/bin/bash
# The tool's peak resident memory (GNU time's maximum RSS) and time for a content of
# SIZE MiB (512 by default) moved through the streaming forms, against a store server
# of its own:
#   bench/tool-memory.sh [--build build/linux] [SIZE_MIB]
# Prints one row per transfer; asserts nothing.
set -u
build=build/linux
if [[ ${1:-} == --build ]]; then build=$2; shift 2; fi
size=${1:-512}
root=$(cd "$(dirname "$0")/.." && pwd)
tool=$root/$build/client/pelorin-client
server=$root/$build/server/pelorin
for program in "$tool" "$server" /usr/bin/time; do
    [ -x "$program" ] || { echo "missing: $program (build the linux preset; apt-get install time)" >&2; exit 2; }
done
work=$(mktemp -d /tmp/pelorin-tool-memory.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c $((size * 1024 * 1024)) /dev/urandom >"$work/content"

measure() {  # measure LABEL ARGUMENT...: one row
    local label=$1
    shift
    /usr/bin/time -f '%M %e' -o "$work/figures" "$tool" --port "$PELORIN_TEST_PORT" "$@" \
        >"$work/stdout" </dev/null 2>/dev/null
    local status=$? peak seconds
    read -r peak seconds < <(tail -1 "$work/figures")
    printf '%-34s %8d KiB peak RSS %7.1f s  exit %d\n' "$label" "$peak" "$seconds" "$status"
}
run() {
    "$tool" --port "$PELORIN_TEST_PORT" NewFile big >/dev/null 2>&1
    for row in "SET --from:SetFile big --from $work/content" \
               "GET -o:GetFile big -o $work/copy" \
               "GET to standard output:GetFile big"; do
        # shellcheck disable=SC2086
        measure "${row%%:*} ($size MiB)" ${row#*:}
    done
}
export -f measure run
export tool work size
bash "$root/client/tests/with-store-server.sh" "$server" "$work/server" bash -c run
