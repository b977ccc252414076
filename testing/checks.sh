# The checks of the shell tests, sourced by each. `check WHAT CONDITION...` counts a check
# and, when the condition fails, names it together with what the condition left in
# $output; `summary` prints the line ctest looks for and exits with the number of failures.
checks=0 failures=0 output=""
check() {
    local what=$1
    shift
    checks=$((checks + 1))
    output=""
    if ! "$@"; then
        failures=$((failures + 1))
        echo "FAILED: $what"
        [ -n "$output" ] && sed 's/^/    | /' <<<"$output"
    fi
    return 0
}
summary() {
    echo "SUMMARY: $checks checks, $failures failed"
    exit "$failures"
}
