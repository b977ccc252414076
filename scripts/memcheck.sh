#!/bin/bash
# Runs a program under valgrind's memcheck and fails when memcheck finds an error in it
# or in any program it starts (the test programs start the server program):
#   memcheck.sh PROGRAM [ARGUMENT...]
# The exit status is the program's, or 99 when memcheck found errors (whatever the program
# answered, so a test that expects a failure status notices them as well). The reports of
# the processes that had errors go to standard error. Standard input, output and error
# stay the program's own, so the tests that compare them still work.
# PELORIN_TEST_TIME_SCALE (20 unless set) tells the tests' time limits how much slower
# everything runs here.
set -u

# Memcheck's reports that are errors. A process that was killed has no summary, so its
# error reports are looked for one by one as well.
errors='ERROR SUMMARY: [1-9]|^==[0-9]+== (Invalid|Conditional jump|Use of uninitialised|Syscall param|Mismatched|Source and destination|Argument .* of function|Process terminating with default action of signal (4|6|7|8|11) )'

# All in one function, so that bash has read the whole script before it runs: an edit
# of this file while tests run does not change the scripts that are running.
main() {
    local here logs child status found log
    here=$(cd "$(dirname "$0")" && pwd)
    export PELORIN_TEST_TIME_SCALE=${PELORIN_TEST_TIME_SCALE:-20}

    logs=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-memcheck.XXXXXX") || exit 1
    trap 'rm -rf "$logs"' EXIT
    # A test may start the server as another user: its report must be writable for it too.
    chmod 1777 "$logs"

    # Shells and system tools a program may start are not the project's: they run
    # untraced. A forked child that does not exec a program reports nothing of its own.
    # No debugger connection: it needs files another user could not make.
    exec 3<&0
    valgrind --tool=memcheck --error-exitcode=99 \
        --leak-check=full --show-leak-kinds=definite,indirect \
        --errors-for-leak-kinds=definite,indirect \
        --track-origins=yes --num-callers=30 \
        --trace-children=yes --trace-children-skip='/bin/*,/usr/bin/*,/sbin/*,/usr/sbin/*' \
        --child-silent-after-fork=yes --vgdb=no \
        --suppressions="$here/memcheck.supp" \
        --log-file="$logs/%p.log" \
        "$@" <&3 3<&- &
    child=$!
    exec 3<&-

    # Whoever stops this script (a test stopping the server with SIGTERM) stops the program.
    trap 'kill -TERM "$child" 2>/dev/null' TERM INT HUP
    while :; do
        wait "$child"
        status=$?
        kill -0 "$child" 2>/dev/null || break
    done

    found=0
    for log in "$logs"/*.log; do
        [ -e "$log" ] || continue
        if grep -Eq "$errors" "$log"; then
            found=1
            echo "=== memcheck: $(basename "$log" .log) ===" >&2
            cat "$log" >&2
        fi
    done
    if [ "$found" = 1 ]; then status=99; fi
    exit "$status"
}

main "$@"
