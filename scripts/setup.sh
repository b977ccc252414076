#!/bin/sh
# Installs what building and testing need on a Debian machine, when it is missing.
#   scripts/setup.sh [server|all]
# server: what building the Linux server needs (the compiler, CMake, Ninja, and the
# GoogleTest sources that configuring reads). all, the default: the tool chain of every
# preset and the tools of the package tests as well. The 32-bit Windows build needs
# Debian's i386 architecture for Wine's 32-bit part; it is added only for that.
set -eu

server="g++ cmake ninja-build googletest libgtest-dev libgmock-dev"
case ${1:-all} in
server)
    packages=$server ;;
all)
    packages="$server
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools nsis
          wine wine64 wine32:i386 libwine-dev fonts-wine
          xvfb xauth
          clang libclang-rt-14-dev valgrind"
    # The tool test measures the tool's peak memory with GNU time.
    packages="$packages time"
    # Building the Debian packages: dpkg-shlibdeps, file for CPack's look at the binaries,
    # and lintian, which the package test runs on them.
    packages="$packages dpkg-dev file lintian"
    # The service test boots a minimal Debian in a container.
    packages="$packages debootstrap systemd-container" ;;
*)
    echo "usage: $0 [server|all]" >&2
    exit 2 ;;
esac

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "installing:$missing"
    sudo=""
    if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
    if echo "$missing" | grep -q ':i386' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi
