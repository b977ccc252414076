#!/bin/sh
# Creates (once) and starts the Wine prefix the Windows tests run in, or stops it.
#   wine-prefix.sh start PREFIX WINE64 [WINE]   create when missing, start a persistent
#                                               wineserver, warm up
#   wine-prefix.sh stop PREFIX                  stop the wineserver of that prefix
# WINE64 is Wine's 64-bit loader: it makes a 64-bit prefix, which runs 32-bit programs as
# well (from C:\windows\syswow64) when Wine's 32-bit part is installed. WINE, the loader
# the tests use, is warmed up too when it is another one. Every Wine process here has
# its standard streams detached: Wine's services otherwise inherit CTest's output pipe
# and keep CTest waiting forever.
set -eu
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY

case $action in
start)
    wine64=$3
    wine=${4:-$wine64}
    export WINELOADER=$wine64
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine64" wineboot -i >/dev/null 2>&1 </dev/null
        # Windows without an X display, and no crash dialog waiting for a click.
        "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
            >/dev/null 2>&1 </dev/null
        "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
    # A server already running for this prefix (a test started by hand, a previous setup
    # without cleanup, or one lingering after its last program) makes "wineserver -p"
    # fail. It is replaced: a server that is not persistent may exit between two tests,
    # and the next test would then start Wine's services on CTest's output pipe.
    if ! wineserver -p >/dev/null 2>&1 </dev/null; then
        wineserver -k >/dev/null 2>&1 </dev/null || true
        wineserver -w
        wineserver -p >/dev/null 2>&1 </dev/null
    fi
    "$wine64" cmd /c exit >/dev/null 2>&1 </dev/null
    if [ "$wine" != "$wine64" ]; then
        WINELOADER=$wine "$wine" cmd /c exit >/dev/null 2>&1 </dev/null
    fi
    echo "wine prefix ready: $WINEPREFIX"
    ;;
stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    echo "wine prefix stopped"
    ;;
*)
    echo "usage: $0 start PREFIX WINE64 [WINE] | stop PREFIX" >&2
    exit 2
    ;;
esac
