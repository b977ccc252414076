#!/bin/bash
# The Debian package of a build, as an administrator meets it:
#   deb-package.sh BUILD_DIR WORKDIR
# Built with CPack into WORKDIR; its control data and contents checked; its unit checked
# by systemd-analyze where there is one; its maintainer scripts run against stand-ins of
# the systemd helpers; then unpacked into WORKDIR/root and its server started the way
# its unit starts it (the state folder and the port of its environment file pointed at
# WORKDIR and a free port), used with the packaged tool and stopped with SIGTERM.
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
deb=$work/out/pelorin_${version}_${architecture}.deb
check "the package is named pelorin_${version}_${architecture}.deb" test -f "$deb"
[ -f "$deb" ] || summary

field() { dpkg-deb -f "$deb" "$1"; }
check "Package" [ "$(field Package)" = pelorin ]
check "Version is the project's" [ "$(field Version)" = "$version" ]
check "Architecture" [ "$(field Architecture)" = "$architecture" ]
check "Depends, from shlibdeps" grep -Eq '^libc6 \(>= [0-9.]+\), .*libstdc\+\+6 \(>= ' \
    <<<"$(field Depends)"
check "Maintainer" grep -Eq '^.+ <.+>$' <<<"$(field Maintainer)"
check "Description with a long part" [ "$(field Description | wc -l)" -gt 2 ]
check "Section and Priority" [ "$(field Section)/$(field Priority)" = net/optional ]
dpkg-deb -e "$deb" "$work/control"
check "conffiles: the environment file" [ "$(cat "$work/control/conffiles")" = /etc/default/pelorin ]
check "shlibs: the client library" grep -q '^libPelorin_Client 0 pelorin' "$work/control/shlibs"
for script in postinst prerm postrm; do
    check "$script is executable" test -x "$work/control/$script"
done

listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing")
for expected in ./usr/bin/pelorin ./usr/bin/pelorin-client \
    ./usr/lib/libPelorin_Client.so.0 ./usr/lib/libPelorin_Client.so \
    ./usr/include/pelorin/PelorinClient.h \
    ./usr/lib/cmake/Pelorin_Client/Pelorin_ClientConfig.cmake \
    ./usr/lib/systemd/system/pelorin.service ./etc/default/pelorin; do
    check "holds $expected" has_line "$files" "$expected"
done
check "nothing but programs, library, header, CMake package and service" \
    [ -z "$(grep -Ev '^\./(usr/bin/pelorin(-client)?|usr/lib/libPelorin_Client\.so[.0-9]*|usr/include/pelorin/PelorinClient\.h|usr/lib/cmake/Pelorin_Client/[A-Za-z_-]+\.cmake|usr/lib/systemd/system/pelorin\.service|etc/default/pelorin)$' <<<"$files")" ]
check "every entry belongs to root" [ "$(awk '{print $2}' <<<"$listing" | sort -u)" = root/root ]

root=$work/root
dpkg-deb -x "$deb" "$root"
for program in usr/bin/pelorin usr/bin/pelorin-client usr/lib/libPelorin_Client.so.0; do
    check "$program is stripped" is_stripped "$root/$program"
done
check "the tool finds the packaged library" \
    grep -qF "$root/usr/bin/../lib/libPelorin_Client.so.0" <<<"$(ldd "$root/usr/bin/pelorin-client")"

# --- The unit --------------------------------------------------------------------------
unit=$root/usr/lib/systemd/system/pelorin.service
if command -v systemd-analyze >/dev/null; then
    # The unit as installed, but with the program where it was unpacked.
    mkdir -p "$work/verify"
    sed "s|/usr/bin/pelorin|$root/usr/bin/pelorin|" "$unit" >"$work/verify/pelorin.service"
    verified=$(systemd-analyze verify "$work/verify/pelorin.service" 2>&1)
    check "systemd-analyze verify finds nothing: $verified" [ -z "$verified" ]
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
