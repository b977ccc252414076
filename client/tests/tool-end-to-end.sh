#!/bin/bash
# The tool against a running store server (see with-store-server.sh):
#   tool-end-to-end.sh TOOL WORKDIR
# Every method, the outputs, the exit statuses, a 50 MiB binary round trip, and a 64 MiB
# one through the streaming forms (with the tool's peak memory on Linux, and its progress
# line on a terminal). A Windows tool (.exe) runs under the Wine loader named in
# WINELOADER and reaches the server through the registered component (the streaming
# forms through the class linked into it). The last line is a summary; the exit status
# is the number of failed checks.
set -u
tool=$1 workdir=$2
port=${PELORIN_TEST_PORT:?run this through with-store-server.sh}
rm -rf "$workdir"
mkdir -p "$workdir"
runner=()
[[ $tool == *.exe ]] && runner=("${WINELOADER:?the Wine loader of the tool}")
[[ -n ${PELORIN_TEST_RUNNER:-} ]] && runner=("$PELORIN_TEST_RUNNER")

. "$(dirname "$0")/../../testing/checks.sh"

out=$workdir/out err=$workdir/err
run() {  # run ARGUMENT...: the tool's status in $status, its output in $out and $err
    "${runner[@]}" "$tool" --port "$port" "$@" >"$out" 2>"$err" </dev/null
    status=$?
}
run_in() {  # run_in FILE ARGUMENT...: as run, standard input from FILE
    local input=$1
    shift
    "${runner[@]}" "$tool" --port "$port" "$@" >"$out" 2>"$err" <"$input"
    status=$?
}
output_is() { [[ "$(cat "$out"; echo .)" == "$1." ]]; }
# native PATH: the path as the tool names it (Wine shows the file system as drive Z:).
native() { if [[ $tool == *.exe ]]; then echo "Z:${1//\//\\}"; else echo "$1"; fi; }

run NewFolder e2e; check "NewFolder" [ "$status" = 0 ]
check "NewFolder writes nothing" output_is ""
run newfile e2e/f; check "NewFile" [ "$status" = 0 ]
run DirFile e2e/f; check "DirFile existing" output_is $'true\n'
run DirFile e2e/none; check "DirFile missing" output_is $'false\n'
check "DirFile missing succeeds" [ "$status" = 0 ]
run SetFile e2e/f "hello"; check "SetFile argument" [ "$status" = 0 ]
run GetFile e2e/f; check "GetFile" output_is "hello"
printf 'a\r\nb\0c\x1a\xff\n' >"$workdir/small.bin"
run_in "$workdir/small.bin" SetFile e2e/f
check "SetFile from standard input" [ "$status" = 0 ]
run GetFile e2e/f; check "GetFile binary" cmp -s "$out" "$workdir/small.bin"
run DirFolder e2e; check "DirFolder listing" output_is $'f\r'
run GetFile e2e/none
check "GetFile missing fails" [ "$status" = 1 ]
check "GetFile missing says error 5" grep -q '^error 5: ' "$err"
check "GetFile missing writes nothing" output_is ""
run NewFile e2e/f; check "NewFile existing fails" [ "$status" = 1 ]
run Frobnicate x; check "unknown method is a usage error" [ "$status" = 2 ]
"${runner[@]}" "$tool" >"$out" 2>"$err" </dev/null
check "no arguments is a usage error" [ "$?" = 2 ]

# 50 MiB of every byte value there and back.
head -c $((50 * 1024 * 1024)) /dev/urandom >"$workdir/big.bin"
run NewFile e2e/big; check "NewFile big" [ "$status" = 0 ]
run_in "$workdir/big.bin" SetFile e2e/big
check "SetFile 50 MiB" [ "$status" = 0 ]
run GetFile e2e/big; check "GetFile 50 MiB keeps every byte" cmp -s "$out" "$workdir/big.bin"
rm -f "$workdir/big.bin"
run DeleteFile e2e/big; check "DeleteFile big" [ "$status" = 0 ]

# 64 MiB through the streaming forms: from and to files, standard input and output.
big=$workdir/big.bin got=$workdir/got.bin
head -c $((64 * 1024 * 1024)) /dev/urandom >"$big"
run NewFile e2e/big; check "NewFile big" [ "$status" = 0 ]
run SetFile e2e/big --from "$(native "$big")"; check "SetFile --from 64 MiB" [ "$status" = 0 ]
run GetFile e2e/big -o "$(native "$got")"; check "GetFile -o 64 MiB" [ "$status" = 0 ]
check "GetFile -o keeps every byte" cmp -s "$got" "$big"
check "no progress line in a pipe" [ ! -s "$err" ]
run GetFile e2e/big; check "GetFile to standard output keeps every byte" cmp -s "$out" "$big"
rm -f "$got"
run_in "$big" SetFile e2e/big --from -; check "SetFile --from - 64 MiB" [ "$status" = 0 ]
run GetFile e2e/big -o "$(native "$got")"; check "standard input stored whole" cmp -s "$got" "$big"
check "no temporary file left beside the target" [ "$(ls "$workdir" | grep -c part)" = 0 ]

# The peak memory of a streaming transfer, far below the content (Linux, no runner, no
# sanitizers).
if [[ $tool != *.exe && -z ${PELORIN_TEST_RUNNER:-} && -z ${PELORIN_TOOL_PEAK_UNCHECKED:-} &&
      -x /usr/bin/time ]]; then
    peak_kib() {  # peak_kib ARGUMENT...: the tool's peak resident memory in KiB in $peak
        /usr/bin/time -f %M -o "$workdir/peak" "$tool" --port "$port" "$@" >"$out" 2>"$err" </dev/null
        status=$?
        peak=$(tail -1 "$workdir/peak")
    }
    peak_kib GetFile e2e/big -o "$(native "$got")"
    output="peak $peak KiB"; check "GetFile of 64 MiB peaks below 16 MiB" [ "$status" = 0 -a "$peak" -lt 16384 ]
    peak_kib GetFile e2e/big
    output="peak $peak KiB"; check "GetFile to standard output peaks below 16 MiB" [ "$peak" -lt 16384 ]
    peak_kib SetFile e2e/big --from "$(native "$big")"
    output="peak $peak KiB"; check "SetFile of 64 MiB peaks below 16 MiB" [ "$status" = 0 -a "$peak" -lt 16384 ]
fi

# The progress line: on a terminal only, for a transfer that lasts (a reader that waits
# two seconds before it reads holds the tool back), cleared at the end; never with
# --quiet or in a pipe.
if [[ $tool != *.exe && -z ${PELORIN_TEST_RUNNER:-} ]] && command -v script >/dev/null; then
    slow="| (sleep 2; cat >/dev/null)"
    script -qec "'$tool' --port $port GetFile e2e/big $slow" /dev/null >"$workdir/typescript" </dev/null
    output=$(tr '\r' '\n' <"$workdir/typescript")
    check "a progress line on a terminal" grep -q 'MiB/s' "$workdir/typescript"
    check "the progress line is cleared" grep -q $'[ ]\r$' "$workdir/typescript"
    script -qec "'$tool' --port $port --quiet GetFile e2e/big $slow" /dev/null >"$workdir/typescript" </dev/null
    check "no progress line with --quiet" [ ! -s "$workdir/typescript" ]
    "$tool" --port "$port" GetFile e2e/big 2>"$err" | (sleep 2; cat >/dev/null)
    check "no progress line when standard error is a file" [ ! -s "$err" ]
fi

# Failures by class; a GET that fails leaves the target as it was.
echo old >"$got"
run GetFile e2e/none -o "$(native "$got")"; check "GetFile -o of a missing item fails" [ "$status" = 1 ]
check "the target keeps its content" grep -qx old "$got"
check "the refusal names its status" grep -q '(status 404)' "$err"
run GetFile e2e/big -o "$(native "$workdir/no-folder/got")"; check "an unwritable target is a local failure" [ "$status" = 4 ]
run SetFile e2e/big --from "$(native "$workdir/missing")"; check "a missing source is a local failure" [ "$status" = 4 ]
"${runner[@]}" "$tool" --port 1 GetFile e2e/big >"$out" 2>"$err" </dev/null
check "no server is its own failure" [ "$?" = 3 ]
check "no temporary file left after failures" [ "$(ls "$workdir" | grep -c part)" = 0 ]
rm -f "$big" "$got"
run DeleteFile e2e/big; check "DeleteFile big" [ "$status" = 0 ]

run DeleteFolder e2e; check "DeleteFolder not empty fails" [ "$status" = 1 ]
run DeleteFile e2e/f; check "DeleteFile" [ "$status" = 0 ]
run DeleteFolder e2e; check "DeleteFolder" [ "$status" = 0 ]
run DirFile e2e/f; check "gone" output_is $'false\n'

summary
