#!/bin/bash
# Registers or unregisters Pelorin_Client.dll with the regsvr32 of its bitness, then
# checks the registry as a program of that bitness sees it (reg.exe of the same folder,
# its view named with /reg:32 or /reg:64):
#   com-registry.sh register|unregister DLL BITS WINE
# BITS is 32 or 64, WINE the loader of that bitness. After register: the class key with
# InprocServer32 naming the DLL and ThreadingModel Apartment, the program identifier with
# the class, the type library path under its version and platform key, and nothing of it
# in the other view. After unregister (run twice: a registration that is gone is no
# failure): the class key and the platform key are gone, and so are the program
# identifier and the type library unless the DLL of the other bitness is still
# registered, which keeps using them. The last line is a summary; the exit status is the
# number of failed checks.
set -u
action=$1 dll=$2 bits=$3 wine=$4

clsid='{60041670-2EAB-4783-92EF-018D83400911}'
libid='{47788BB1-4D89-4993-B94D-63EAB8B7C29D}'
progid=Pelorin_Client.PelorinClient
case $bits in
64) system='C:\windows\system32' other=32 ;;
32) system='C:\windows\syswow64' other=64 ;;
*) echo "BITS is 32 or 64" >&2; exit 2 ;;
esac
path="Z:${dll//\//\\}"

. "$(dirname "$0")/../../testing/checks.sh"

run() { WINELOADER=$wine "$wine" "$@" </dev/null; }
# query VIEW KEY [reg options]: the key's values as "name|type|data" lines; fails when
# the key is missing.
query() {
    local view=$1 key=$2
    shift 2
    run "$system\\reg.exe" query "$key" "$@" "/reg:$view" 2>/dev/null | tr -d '\r' |
        sed -n 's/^    \(.*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1|\2|\3/p'
    return "${PIPESTATUS[0]}"
}
has_value() {  # has_value VIEW KEY NAME DATA
    query "$1" "$2" | grep -qxF "$3|REG_SZ|$4"
}
lacks_value() { ! has_value "$@"; }
exists() { query "$1" "$2" >/dev/null; }
missing() { ! exists "$1" "$2"; }
library="HKCR\\TypeLib\\$libid"
platform="$library\\1.0\\0\\win$bits"

case $action in
register)
    run "$system\\regsvr32.exe" /s "$path"
    check "regsvr32 exits 0" [ "$?" = 0 ]
    check "InprocServer32 names the DLL" \
        has_value "$bits" "HKCR\\CLSID\\$clsid\\InprocServer32" "(Default)" "$path"
    check "ThreadingModel Apartment" \
        has_value "$bits" "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
    check "the program identifier names the class" \
        has_value "$bits" "HKCR\\$progid\\CLSID" "(Default)" "$clsid"
    check "the type library for win$bits names the DLL" \
        has_value "$bits" "$platform" "(Default)" "$path"
    check "the $other-bit view does not name this DLL" \
        lacks_value "$other" "HKCR\\CLSID\\$clsid\\InprocServer32" "(Default)" "$path"
    ;;
unregister)
    run "$system\\regsvr32.exe" /s /u "$path"
    check "regsvr32 /u exits 0" [ "$?" = 0 ]
    run "$system\\regsvr32.exe" /s /u "$path"
    check "a second regsvr32 /u exits 0" [ "$?" = 0 ]
    check "the class key is gone" missing "$bits" "HKCR\\CLSID\\$clsid"
    check "the win$bits type library key is gone" missing "$bits" "$platform"
    if exists "$other" "HKCR\\CLSID\\$clsid\\InprocServer32"; then
        # Both are shared by the two views.
        check "the $other-bit DLL keeps the program identifier" \
            exists "$bits" "HKCR\\$progid\\CLSID"
        check "the $other-bit DLL keeps its type library" \
            exists "$bits" "$library\\1.0\\0\\win$other"
    else
        check "the program identifier is gone" missing "$bits" "HKCR\\$progid"
        check "the type library is gone" missing "$bits" "$library"
    fi
    ;;
*)
    echo "usage: $0 register|unregister DLL BITS WINE" >&2
    exit 2
    ;;
esac

summary
