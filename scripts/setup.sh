#!/bin/sh
# Installs what building and testing need on a Debian machine, when it is missing.
# The 32-bit Windows build needs Debian's i386 architecture for Wine's 32-bit part.
set -eu

packages="g++ cmake ninja-build googletest libgtest-dev libgmock-dev
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools nsis
          wine wine64 wine32:i386 libwine-dev fonts-wine
          xvfb xauth
          clang libclang-rt-14-dev valgrind"
# Building the Debian packages: dpkg-shlibdeps, file for CPack's look at the binaries,
# and lintian, which the package test runs on them.
packages="$packages dpkg-dev file lintian"
# The service test boots a minimal Debian in a container.
packages="$packages debootstrap systemd-container"

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
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi
