#!/bin/bash
# The version resources of Windows files carry the project's version:
#   version-resources.sh WINDRES VERSION FILE...
# windres reads a program's or DLL's resources back as resource script text.
set -u
windres=$1 version=$2
shift 2
failures=0
for file in "$@"; do
    script=$("$windres" -i "$file" -J coff -O rc 2>&1)
    for value in "\"FileVersion\", \"$version\"" "\"ProductVersion\", \"$version\""; do
        if ! grep -qF "VALUE $value" <<<"$script"; then
            echo "FAILED: $file has no VALUE $value" >&2
            failures=$((failures + 1))
        fi
    done
done
echo "SUMMARY: $(($# * 2)) checks, $failures failed"
exit "$failures"
