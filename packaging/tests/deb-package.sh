#!/bin/bash
# The Debian packages of a build, as an administrator meets them:
#   deb-package.sh BUILD_DIR WORKDIR
# Built with CPack into WORKDIR (pelorin, libpelorin-client0, libpelorin-client-dev);
# lintian finds nothing but the maintainer address; their control data and contents
# checked; the unit checked by systemd-analyze where there is one; the maintainer scripts
# run against stand-ins of the systemd helpers; then unpacked into WORKDIR/root, a
# project built against the library there with find_package, and the server started the
# way its unit starts it (the state folder and the port of its environment file pointed
# at WORKDIR and a free port), used with the packaged tool and stopped with SIGTERM.
# Exit 77 (skipped) without the Debian package tools. The last line is a summary; the
# exit status is the number of failed checks.
set -u
build=$1 work=$2

for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is missing (scripts/setup.sh installs dpkg-dev)"
        exit 77
    fi
done
rm -rf "$work"
mkdir -p "$work"

. "$(dirname "$0")/../../testing/checks.sh"
has_line() { grep -qxF -- "$2" <<<"$1"; }
has_no() { ! grep -qF -- "$2" <<<"$1"; }
is_stripped() { ! readelf -S "$1" | grep -q '\.debug_info'; }

# --- The package ---------------------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAILED: cpack" >&2
    exit 1
fi
version=$(sed -n 's/^#define PELORIN_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/PelorinVersion.h")
architecture=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb=$work/out/pelorin_${version}_${architecture}.deb
library_deb=$work/out/libpelorin-client0_${version}_${architecture}.deb
dev_deb=$work/out/libpelorin-client-dev_${version}_${architecture}.deb
for one in "$deb" "$library_deb" "$dev_deb"; do
    check "a package $(basename "$one")" test -f "$one"
    [ -f "$one" ] || summary
done

# --- lintian ---------------------------------------------------------------------------
# The maintainer address is the one thing allowed: it is the cache variable
# PELORIN_PACKAGE_MAINTAINER, a placeholder until whoever releases sets a real one.
if command -v lintian >/dev/null; then
    findings=$(lintian --allow-root "$deb" "$library_deb" "$dev_deb" 2>&1 |
        grep -E '^[EW]: ' | grep -Ev ': bogus-mail-host(-in-debian-changelog)? ')
    check "lintian: no error or warning but the maintainer address: $findings" [ -z "$findings" ]
else
    echo "FAILED: lintian is missing (scripts/setup.sh installs it)"
fi

field() { dpkg-deb -f "$deb" "$1"; }
check "Package" [ "$(field Package)" = pelorin ]
check "Version is the project's" [ "$(field Version)" = "$version" ]
check "Architecture" [ "$(field Architecture)" = "$architecture" ]
check "Depends, from shlibdeps" grep -Eq 'libc6 \(>= [0-9.]+\), .*libstdc\+\+6 \(>= ' \
    <<<"$(field Depends)"
check "Depends on the library of the same version" \
    grep -qF "libpelorin-client0 (= $version)" <<<"$(field Depends)"
check "the library package: Section libs" [ "$(dpkg-deb -f "$library_deb" Section)" = libs ]
check "the development package: Section libdevel, on the library of its version" \
    [ "$(dpkg-deb -f "$dev_deb" Section)/$(dpkg-deb -f "$dev_deb" Depends)" = \
      "libdevel/libpelorin-client0 (= $version)" ]
check "Maintainer" grep -Eq '^.+ <.+>$' <<<"$(field Maintainer)"
check "Description with a long part" [ "$(field Description | wc -l)" -gt 2 ]
check "Section and Priority" [ "$(field Section)/$(field Priority)" = net/optional ]
dpkg-deb -e "$deb" "$work/control"
check "conffiles: the environment file" [ "$(cat "$work/control/conffiles")" = /etc/default/pelorin ]
dpkg-deb -e "$library_deb" "$work/library-control"
check "shlibs: the client library" \
    grep -qxF "libPelorin_Client 0 libpelorin-client0 (>= $version)" "$work/library-control/shlibs"
check "the library's ldconfig trigger" \
    grep -qxF "activate-noawait ldconfig" "$work/library-control/triggers"
check "no ldconfig calls of its own beside the trigger" \
    [ ! -e "$work/library-control/postinst" ] && [ ! -e "$work/library-control/postrm" ]
for script in postinst prerm postrm; do
    check "$script is executable" test -x "$work/control/$script"
done

# Each package holds its own files and no other's, all of them root's.
holds_only() {  # holds_only DEB PATTERN EXPECTED...
    local listing files
    listing=$(dpkg-deb -c "$1")
    files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing")
    for expected in "${@:3}"; do
        check "$(basename "$1") holds $expected" has_line "$files" "$expected"
    done
    check "$(basename "$1") holds nothing else" [ -z "$(grep -Ev "^\./($2)\$" <<<"$files")" ]
    check "$(basename "$1"): every entry belongs to root" \
        [ "$(awk '{print $2}' <<<"$listing" | sort -u)" = root/root ]
}
lib=usr/lib/$multiarch
holds_only "$deb" \
    "usr/bin/pelorin(-client)?|usr/lib/systemd/system/pelorin\.service|etc/default/pelorin|usr/share/man/man1/pelorin(-client)?\.1\.gz|usr/share/doc/pelorin/(copyright|changelog\.gz)" \
    ./usr/bin/pelorin ./usr/bin/pelorin-client ./usr/lib/systemd/system/pelorin.service \
    ./etc/default/pelorin ./usr/share/man/man1/pelorin.1.gz \
    ./usr/share/man/man1/pelorin-client.1.gz ./usr/share/doc/pelorin/copyright \
    ./usr/share/doc/pelorin/changelog.gz
holds_only "$library_deb" \
    "$lib/libPelorin_Client\.so\.0(\.[0-9.]+)?|usr/share/doc/libpelorin-client0/(copyright|changelog\.gz)" \
    "./$lib/libPelorin_Client.so.0" ./usr/share/doc/libpelorin-client0/copyright \
    ./usr/share/doc/libpelorin-client0/changelog.gz
holds_only "$dev_deb" \
    "$lib/libPelorin_Client\.so|usr/include/pelorin/PelorinClient\.h|$lib/cmake/Pelorin_Client/[A-Za-z_-]+\.cmake|usr/share/doc/libpelorin-client-dev/(copyright|changelog\.gz)" \
    "./$lib/libPelorin_Client.so" ./usr/include/pelorin/PelorinClient.h \
    "./$lib/cmake/Pelorin_Client/Pelorin_ClientConfig.cmake" \
    ./usr/share/doc/libpelorin-client-dev/copyright

root=$work/root
for one in "$deb" "$library_deb" "$dev_deb"; do dpkg-deb -x "$one" "$root"; done
for program in usr/bin/pelorin usr/bin/pelorin-client "$lib/libPelorin_Client.so.0"; do
    check "$program is stripped" is_stripped "$root/$program"
done
check "the tool finds the packaged library" \
    grep -qF "$root/usr/bin/../lib/$multiarch/libPelorin_Client.so.0" <<<"$(ldd "$root/usr/bin/pelorin-client")"

# --- The documents -------------------------------------------------------------------------
check "the copyright file is machine-readable, MIT (Expat)" \
    grep -q '^License: Expat$' "$root/usr/share/doc/pelorin/copyright"
changelog_version=$(zcat "$root/usr/share/doc/pelorin/changelog.gz" | sed -n '1s/^pelorin (\([^)]*\)).*/\1/p')
check "the changelog's last entry is this version ($changelog_version)" [ "$changelog_version" = "$version" ]
for page in pelorin pelorin-client; do
    check "man $page formats without a warning" \
        [ -z "$(zcat "$root/usr/share/man/man1/$page.1.gz" | LC_ALL=C.UTF-8 MANWIDTH=80 \
            man --warnings -E UTF-8 -l -Tutf8 - 2>&1 >/dev/null)" ]
done
for switch in PORT START FOLDER= LOG DEBUG DEBUGFILE PROZESSINFO HELP VERSION; do
    check "pelorin(1) names /$switch" zgrep -qF "/$switch" "$root/usr/share/man/man1/pelorin.1.gz"
done

# --- The development package: a project built against it with find_package --------------------
consumer=$(dirname "$0")/../../client/tests/consumer
if cmake -S "$consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$root/usr" \
        >"$work/consumer.log" 2>&1 && cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1; then
    check "find_package finds the library in the multiarch folder" \
        grep -rqF "$root/$lib/libPelorin_Client.so" "$work/consumer"
    "$work/consumer/consumer" 1 >>"$work/consumer.log" 2>&1
    check "the consumer runs with the packaged library" [ "$?" = 0 ]
else
    cat "$work/consumer.log"
    check "a project builds against the development package" false
fi

# --- The unit --------------------------------------------------------------------------
unit=$root/usr/lib/systemd/system/pelorin.service
if command -v systemd-analyze >/dev/null; then
    # The unit as installed, but with the program where it was unpacked.
    mkdir -p "$work/verify"
    sed "s|/usr/bin/pelorin|$root/usr/bin/pelorin|" "$unit" >"$work/verify/pelorin.service"
    verified=$(systemd-analyze verify "$work/verify/pelorin.service" 2>&1)
    check "systemd-analyze verify finds nothing: $verified" [ -z "$verified" ]
    # How much of the system the service could reach if taken over: 10 is everything.
    exposure=$(systemd-analyze security --offline=yes "$work/verify/pelorin.service" 2>&1 |
        sed -n 's/.*Overall exposure level for pelorin\.service: \([0-9.]*\).*/\1/p')
    echo "exposure of pelorin.service (systemd-analyze security): ${exposure:-unknown}, goal 1.5 or lower"
    check "the unit's exposure (${exposure:-unknown}) is 1.5 or lower" \
        awk -v e="$exposure" 'BEGIN { exit !(e != "" && e + 0 <= 1.5) }'
    check "the unit waits for the program's readiness" grep -qx 'Type=notify' "$unit"
else
    echo "skipped: systemd-analyze verify (systemd-analyze is not installed)"
fi

# --- The maintainer scripts, against stand-ins that note their calls -------------------
stubs=$work/stubs calls=$work/calls
mkdir -p "$stubs"
for helper in deb-systemd-helper deb-systemd-invoke systemctl; do
    # was-enabled answers as the test says; every call is noted.
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n[ "$2" != was-enabled ] || exit "${WAS_ENABLED:-0}"\n' \
        "$helper" "$calls" >"$stubs/$helper"
    chmod +x "$stubs/$helper"
done
run_script() {  # run_script SCRIPT ARGUMENT...: its calls in $noted, its status in $status
    : >"$calls"
    PATH="$stubs:$PATH" sh "$work/control/$1" "${@:2}" >/dev/null 2>&1
    status=$?
    noted=$(cat "$calls")
}
run_script postinst configure ""
check "postinst on installation: status 0" [ "$status" = 0 ]
check "postinst on installation enables the service" \
    has_line "$noted" "deb-systemd-helper enable pelorin.service"
WAS_ENABLED=1 run_script postinst configure 0.1
check "postinst on upgrade keeps a disabled service disabled" \
    has_line "$noted" "deb-systemd-helper update-state pelorin.service"
check "postinst on upgrade does not enable it" has_no "$noted" " enable "
if [ -d /run/systemd/system ]; then
    check "postinst on upgrade restarts the service" \
        has_line "$noted" "deb-systemd-invoke restart pelorin.service"
fi
run_script postrm remove
check "postrm remove masks it in the records" has_line "$noted" "deb-systemd-helper mask pelorin.service"
run_script postrm purge
check "postrm purge erases it from the records" \
    has_line "$noted" "deb-systemd-helper purge pelorin.service"
shell=$(command -v sh)
for script in postinst prerm postrm; do
    PATH=$work/nothing "$shell" "$work/control/$script" configure >/dev/null 2>&1
    check "$script without the systemd helpers: status 0" [ "$?" = 0 ]
done

# --- The packaged programs -------------------------------------------------------------
out=$(PATH=/nothing "$root/usr/bin/pelorin" --version)
check "pelorin --version" [ "$?/$out" = "0/Pelorin $version" ]
out=$("$root/usr/bin/pelorin" --help)
check "pelorin --help: status 0" [ "$?" = 0 ]
check "pelorin --help names the switches" grep -q '^/FOLDER=' <<<"$out"
out=$("$root/usr/bin/pelorin-client" --version)
check "pelorin-client --version" [ "$?/$out" = "0/pelorin-client $version" ]
"$root/usr/bin/pelorin-client" --help >/dev/null
check "pelorin-client --help" [ "$?" = 0 ]

# --- The server as its unit runs it ----------------------------------------------------
. "$(dirname "$0")/../../testing/ports.sh"
free_port
# The port goes where an administrator puts it; systemd reads the file, then fills in
# ${VAR} and %S (the state folders' root, /var/lib) and makes the StateDirectory.
environment_file=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
sed -i "s/^PELORIN_PORT=.*/PELORIN_PORT=$port/" "$root$environment_file"
state_root=$work/state
state=$state_root/$(sed -n 's/^StateDirectory=//p' "$unit")
mkdir -p "$state"
command_line=$(sed -n 's/^ExecStart=//p' "$unit")
command_line=${command_line//%S/$state_root}
while [[ $command_line =~ \$\{([A-Za-z_][A-Za-z0-9_]*)\} ]]; do
    name=${BASH_REMATCH[1]}
    value=$(sed -n "s/^$name=//p" "$root$environment_file")
    command_line=${command_line//"\${$name}"/$value}
done
read -r -a arguments <<<"$command_line"
check "the unit runs /usr/bin/pelorin" [ "${arguments[0]}" = /usr/bin/pelorin ]
"$root${arguments[0]}" "${arguments[@]:1}" </dev/null >"$work/server.out" 2>&1 &
server=$!
for _ in $(seq 1 300); do
    listening "$port" && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
check "the server listens on the environment file's port" listening "$port"

tool() { "$root/usr/bin/pelorin-client" --port "$port" "$@"; }
tool NewFolder docs && tool NewFile docs/a.txt && tool SetFile docs/a.txt hello
check "the tool stores a file" [ "$?" = 0 ]
check "the tool reads it back" [ "$(tool GetFile docs/a.txt)" = hello ]
check "the file lies in the state folder" [ "$(cat "$state/data/docs/atxt" 2>&1)" = hello ]
check "nothing is written next to the program" \
    [ "$(find "$root/usr/bin" -mindepth 1 -printf '%f\n' | sort | paste -sd' ')" = "pelorin pelorin-client" ]

kill -TERM "$server"
wait "$server"
check "SIGTERM ends the server with status 0" [ "$?" = 0 ]
summary
