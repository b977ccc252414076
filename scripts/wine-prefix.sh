#!/bin/sh
# Creates (once) and starts the Wine prefix the Windows tests run in, or stops it.
#   wine-prefix.sh start PREFIX   create when missing, start a persistent wineserver, warm up
#   wine-prefix.sh stop PREFIX    stop the wineserver of that prefix
# Every Wine process here has its standard streams detached: Wine's services otherwise
# inherit CTest's output pipe and keep CTest waiting forever.
set -eu
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY

case $action in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        # Windows without an X display, and no crash dialog waiting for a click.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
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
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    echo "wine prefix ready: $WINEPREFIX"
    ;;
stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    echo "wine prefix stopped"
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
