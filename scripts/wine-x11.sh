#!/bin/sh
# Windows test programs that need a real display: Wine with its X11 driver on a virtual X
# server (Xvfb), in a prefix of its own (the other tests' prefix has no graphics driver).
#   wine-x11.sh setup PREFIX WINE64        create the prefix once: an 800x600 Wine desktop
#   wine-x11.sh run PREFIX WINE PROGRAM    run PROGRAM on a fresh virtual display, bounded
#                                          in time
#   wine-x11.sh stop PREFIX                stop the prefix's wine server
# WINE64 is Wine's 64-bit loader, which makes the (64-bit) prefix; WINE is the loader of
# PROGRAM's bitness. Wine's services would otherwise inherit CTest's output pipe and keep
# CTest waiting, so they are started with detached streams and the wine server is stopped
# after each run.
set -eu
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
screen="-screen 0 800x600x24"

case $action in
setup)
    export WINELOADER=$3
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        timeout 240 xvfb-run -a -s "$screen" sh -c '
            "$WINELOADER" wineboot -i
            "$WINELOADER" reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
            "$WINELOADER" reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f
            "$WINELOADER" reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 800x600 /f
            wineserver -w' >/dev/null 2>&1 </dev/null
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine X11 prefix not made" >&2; exit 1; }
    echo "wine X11 prefix ready: $WINEPREFIX"
    ;;
run)
    export WINELOADER=$3
    program=$4
    exec timeout 150 xvfb-run -a -s "$screen" sh -c '
        wineserver -p >/dev/null 2>&1 </dev/null
        "$WINELOADER" cmd /c exit >/dev/null 2>&1 </dev/null
        rc=0
        "$WINELOADER" "$1" </dev/null || rc=$?
        wineserver -k >/dev/null 2>&1 </dev/null || true
        wineserver -w
        exit $rc' sh "$program"
    ;;
stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    echo "wine X11 prefix stopped"
    ;;
*)
    echo "usage: $0 setup PREFIX WINE64 | run PREFIX WINE PROGRAM | stop PREFIX" >&2
    exit 2
    ;;
esac
