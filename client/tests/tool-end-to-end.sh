#!/bin/bash
# The tool against a running store server (see with-store-server.sh):
#   tool-end-to-end.sh TOOL WORKDIR
# Every method, the outputs, the exit statuses, and a 50 MiB binary round trip. A
# Windows tool (.exe) runs under the Wine loader named in WINELOADER and reaches the
# server through the registered component. The last line is a summary; the exit status
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

run DeleteFolder e2e; check "DeleteFolder not empty fails" [ "$status" = 1 ]
run DeleteFile e2e/f; check "DeleteFile" [ "$status" = 0 ]
run DeleteFolder e2e; check "DeleteFolder" [ "$status" = 0 ]
run DirFile e2e/f; check "gone" output_is $'false\n'

summary
