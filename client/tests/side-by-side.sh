#!/bin/bash
# The 32-bit and the 64-bit Pelorin_Client.dll registered at once, against a running store
# server (see with-store-server.sh):
#   side-by-side.sh DLL32 DLL64 WINE32 WINE64
# Each script host uses the store through the DLL of its own bitness (StoreClient.vbs,
# every check); with one of the DLLs unregistered the host of the other bitness still
# does, while the host of its own bitness gets error 429. The 32-bit DLL is registered
# before (the tests' fixture) and after. Exit status 77 (skipped) without DLL64; else the
# number of failed checks, after a summary line.
set -u
dll32=$1 dll64=$2 wine32=$3 wine64=$4
here=$(cd "$(dirname "$0")" && pwd)
port=${PELORIN_TEST_PORT:?run this through with-store-server.sh}
if [ ! -f "$dll64" ]; then
    echo "skipped: no 64-bit DLL at $dll64 (build the windows preset first, or set" \
         "PELORIN_CLIENT_DLL64)"
    exit 77
fi

. "$(dirname "$0")/../../testing/checks.sh"

registry() {  # registry register|unregister BITS
    local dll=$dll32 wine=$wine32
    [ "$2" = 64 ] && dll=$dll64 wine=$wine64
    output=$(bash "$here/com-registry.sh" "$1" "$dll" "$2" "$wine" 2>&1)
}
host() {  # host BITS: StoreClient.vbs from the script host of that bitness
    local wine=$wine32 system='C:\windows\syswow64'
    [ "$1" = 64 ] && wine=$wine64 system='C:\windows\system32'
    output=$(WINELOADER=$wine "$wine" "$system\\cscript.exe" //nologo StoreClient.vbs "$port" \
        </dev/null 2>&1 | tr -d '\r')
}
works() { host "$1" && grep -q "^SUMMARY: [0-9]* checks, 0 failed" <<<"$output"; }
refused() { host "$1"; grep -q "^FAILED: CreateObject (error 429:" <<<"$output"; }

check "the 64-bit DLL registers next to the 32-bit one" registry register 64
check "the 64-bit host works through the 64-bit DLL" works 64
check "the 32-bit host works through the 32-bit DLL" works 32
check "the 32-bit DLL unregisters" registry unregister 32
check "the 64-bit host still works" works 64
check "the 32-bit host gets error 429" refused 32
check "the 32-bit DLL registers again" registry register 32
check "the 64-bit DLL unregisters" registry unregister 64
check "the 32-bit host still works" works 32
check "the 64-bit host gets error 429" refused 64

summary
