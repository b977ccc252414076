#!/bin/bash
# The Debian packages under a real systemd: a minimal Debian booted in a container.
#   deb-service.sh BUILD_DIR WORKDIR
# The container's root is made once by debootstrap (about 260 MB, from the archive apt
# already uses) and kept in $PELORIN_CONTAINER_ROOT (/var/cache/pelorin-test/root);
# each run installs the packages into a fresh copy of it, boots it with systemd-nspawn,
# and checks that the service is active and the store answers, that stop ends it with
# status 0, that a taken port leaves the unit failed, and prints the service's exposure.
# Exit 77 (skipped), saying why, where the machine cannot boot a container. The last
# line is a summary; the exit status is the number of failed checks.
set -u
build=$1 work=$2
cache=${PELORIN_CONTAINER_ROOT:-/var/cache/pelorin-test/root}

skip() {
    echo "skipped: $1"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "booting a container needs root"
for tool in systemd-nspawn debootstrap nsenter dpkg-deb; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs it)"
done

. "$(dirname "$0")/../../testing/checks.sh"
rm -rf "$work"
mkdir -p "$work"

# --- The root, made once -----------------------------------------------------------------
if [ ! -x "$cache/usr/lib/systemd/systemd" ]; then
    . /etc/os-release
    mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p; s/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' \
        /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | head -n 1)
    echo "making the container's root in $cache (debootstrap $VERSION_CODENAME from $mirror)"
    rm -rf "$cache.new"
    mkdir -p "$(dirname "$cache")"
    debootstrap --variant=minbase --include=systemd,dbus,curl,iproute2 \
        "$VERSION_CODENAME" "$cache.new" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        skip "debootstrap could not make the root (see $work/debootstrap.log)"
    mv "$cache.new" "$cache"
fi

# --- The packages, installed into a fresh copy -----------------------------------------
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAILED: cpack"; exit 1; }
machine=$work/machine
cp -a "$cache" "$machine"
# Not /tmp: the container gets a fresh one.
mkdir -p "$machine/var/tmp/packages"
cp "$work"/out/*.deb "$machine/var/tmp/packages/"
# Not booted yet: postinst only records the service as enabled, boot starts it.
systemd-nspawn -q -D "$machine" --register=no --keep-unit --private-network \
    sh -c 'dpkg -i /var/tmp/packages/*.deb' >"$work/install.log" 2>&1
check "the packages install" [ "$?" = 0 ]

# --- Booted ------------------------------------------------------------------------------
# The host runs no systemd of its own: no registration, the test's own scope.
systemd-nspawn -q -D "$machine" -b --register=no --keep-unit --private-network \
    >"$work/boot.log" 2>&1 </dev/null &
nspawn=$!
leader=""
for _ in $(seq 1 200); do
    leader=$(ps -o pid= --ppid "$nspawn" 2>/dev/null | tr -d ' ' | head -n 1)
    [ -n "$leader" ] && [ "$(cat "/proc/$leader/comm" 2>/dev/null)" = systemd ] && break
    kill -0 "$nspawn" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$leader" ] || [ "$(cat "/proc/$leader/comm" 2>/dev/null)" != systemd ]; then
    kill "$nspawn" 2>/dev/null
    skip "this machine cannot boot a container ($(tail -n 3 "$work/boot.log" | tr '\n' ' '))"
fi
inside() { nsenter -t "$leader" -a -- "$@"; }
finish() {
    inside systemctl poweroff >/dev/null 2>&1
    for _ in $(seq 1 300); do
        kill -0 "$nspawn" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$nspawn" 2>/dev/null
    wait "$nspawn" 2>/dev/null
    # The copy of the root is kept for a look after a failure only.
    [ "$failures" != 0 ] || rm -rf "$machine"
    summary
}
# Until its manager answers (its bus is there a moment after it started), then until
# it has started everything.
for _ in $(seq 1 300); do
    case $(inside systemctl is-system-running 2>&1) in
    "" | *"Failed to connect"*) sleep 0.1 ;;
    *) break ;;
    esac
done
state=$(inside timeout 60 systemctl is-system-running --wait 2>&1)
echo "the container is up: $state"

port=$(sed -n 's/^PELORIN_PORT=//p' "$machine/etc/default/pelorin")
store() {  # store METHOD PATH: the status number of the answer
    inside curl -s -o /dev/null -w '%{http_code}' -X "$1" "http://127.0.0.1:$port/$2"
}
check "the service is active after boot" [ "$(inside systemctl is-active pelorin)" = active ]
check "the store answers: NEW makes a folder" [ "$(store NEW notes/)" = 201 ]
check "the store answers: DIR lists it" [ "$(store DIR notes/)" = 200 ]
echo "exposure inside: $(inside systemd-analyze security pelorin.service 2>&1 | tail -n 1)"

inside systemctl stop pelorin
check "stop ends the program with status 0" \
    [ "$(inside systemctl show -P ExecMainStatus pelorin)/$(inside systemctl show -P Result pelorin)" = 0/success ]

# Another program on the port: start must fail and leave the unit failed.
inside systemd-run -q --unit=squatter /usr/bin/pelorin /FOLDER=/tmp/squatter "/PORT$port" /START
for _ in $(seq 1 100); do
    [ "$(store DIR x)" = 404 ] && break
    sleep 0.1
done
inside systemctl start pelorin >/dev/null 2>&1
check "with its port taken, start fails" [ "$?" != 0 ]
check "with its port taken, the unit is failed" [ "$(inside systemctl is-failed pelorin)" = failed ]
check "the reason is in the journal" \
    grep -q "cannot listen to port $port" <<<"$(inside journalctl -u pelorin --no-pager 2>&1)"
finish
