#!/bin/bash
# The setup program under Wine, in a fresh prefix of its own (WORKDIR/wineprefix):
#   test-install.sh SETUP WORKDIR
# A silent install into a folder given with /D; the server started from there with
# /PORTn /START /LOG2; StoreClient.vbs from the 32-bit and from the 64-bit script host,
# and a file stored with the installed tool; a silent upgrade over the running server,
# which closes it; an upgrade with /AUTOSTART, which adds the Startup shortcut; a silent
# uninstall. Then the program files, both shortcuts, the class with its program
# identifier and type library and the uninstall entry are gone from both registry views,
# while the data folder with the stored file and log.txt stay; a silent reinstall into
# the same folder serves that file again; an install into another folder removes that
# installation first and leaves its store where it is. The last line is a summary; the
# exit status is the number of failed checks. The prefix is removed after a run without
# failures and kept for a look after one with.
set -u
setup=$(realpath "$1") work=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
version=$(basename "$setup" | sed -n 's/^Pelorin-\(.*\)-setup\.exe$/\1/p')

wine64=/usr/lib/wine/wine64 wine32=/usr/lib/wine/wine
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all
# No Mono or Gecko prompts, and no Linux menu entry made for the Start menu shortcut.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
unset DISPLAY

folder='C:\Pelorin Test'
installed=$WINEPREFIX/drive_c/Pelorin\ Test
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelorin.lnk"
startup="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Startup/Pelorin.lnk"
other='C:\Pelorin Other'
installed_other=$WINEPREFIX/drive_c/Pelorin\ Other
clsid='{60041670-2EAB-4783-92EF-018D83400911}'
libid='{47788BB1-4D89-4993-B94D-63EAB8B7C29D}'
progid=Pelorin_Client.PelorinClient
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelorin'

. "$(dirname "$0")/../../testing/checks.sh"
. "$(dirname "$0")/../../testing/ports.sh"

# run BITS PROGRAM ARGUMENTS...: a Windows program under the loader of BITS, ended after
# 120 s (a message box, which no one can answer here, would keep it waiting for ever).
run() {
    local wine=$wine64
    [ "$1" = 32 ] && wine=$wine32
    shift
    WINELOADER=$wine timeout 120 "$wine" "$@" </dev/null
}
runs() {  # runs BITS PROGRAM ARGUMENTS...: exit status 0, output kept for a failure
    output=$(run "$@" 2>&1 | tr -d '\r')
    return "${PIPESTATUS[0]}"
}
prefix() { bash "$root/scripts/wine-prefix.sh" "$@" "$WINEPREFIX" $wine64 $wine32 >/dev/null; }

# query VIEW KEY: the key's values as "name|type|data" lines; fails when it is missing.
query() {
    run 64 'C:\windows\system32\reg.exe' query "$2" "/reg:$1" 2>/dev/null | tr -d '\r' |
        sed -n 's/^    \(.*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1|\2|\3/p'
    return "${PIPESTATUS[0]}"
}
has_value() {  # has_value VIEW KEY NAME TYPE DATA
    output=$(query "$1" "$2")
    grep -qxF "$3|$4|$5" <<<"$output"
}
has_size() {  # the uninstall entry's EstimatedSize, not 0
    output=$(query 64 "$uninstall_key")
    grep -qE '^EstimatedSize\|REG_DWORD\|0x[1-9a-f][0-9a-f]*$' <<<"$output"
}
missing() { ! query "$1" "$2" >/dev/null; }
# gone KEY: missing from both views, whose parent key is there (so reg.exe did answer).
gone() {
    local view
    for view in 32 64; do
        query "$view" "${1%\\*}" >/dev/null && missing "$view" "$1" || return 1
    done
}

server_pid=""
# Starts the installed server on a free port (in $port) and waits until it listens.
start_server() {
    free_port
    WINELOADER=$wine64 "$wine64" "$folder\\Pelorin.exe" "/PORT$port" /START /LOG2 \
        </dev/null >"$work/server.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 1 300); do
        listening "$port" && return 0
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    output=$(cat "$work/server.log")
    return 1
}
# The server started last has ended by itself (within 30 s).
server_ended() {
    for _ in $(seq 1 300); do
        if ! kill -0 "$server_pid" 2>/dev/null; then
            wait "$server_pid" 2>/dev/null
            server_pid=""
            return 0
        fi
        sleep 0.1
    done
    return 1
}
stop_server() {
    [ -n "$server_pid" ] || return 0
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    server_pid=""
}
trap 'stop_server; prefix stop' EXIT

script_host() {  # script_host BITS: StoreClient.vbs against the running server
    local system='C:\windows\system32'
    [ "$1" = 32 ] && system='C:\windows\syswow64'
    runs "$1" "$system\\cscript.exe" //nologo "Z:${work//\//\\}\\StoreClient.vbs" "$port" &&
        grep -q "^SUMMARY: [0-9]* checks, 0 failed" <<<"$output"
}
tool() { runs 64 "$folder\\pelorin-client.exe" --port "$port" "$@"; }
reads_note() { tool GetFile kept/note && [ "$output" = stays ]; }
stores_note() {
    tool NewFolder kept && tool NewFile kept/note && tool SetFile kept/note stays && reads_note
}
# Through cmd: the setup program reads /D= from its raw command line, which must not
# quote the folder's space (as Wine would quote a separate argument).
# install [SWITCH...]: into $folder, or into $into when set; /D= comes last.
install() { runs 64 cmd /c "Z:${setup//\//\\} /S $* /D=${into:-$folder}"; }
# The Startup shortcut starts the installed server listening: /START, in UTF-16.
starts_listening() { grep -qaP '/\x00S\x00T\x00A\x00R\x00T' "$startup"; }
restarted() { start_server && reads_note; }
program_files=(Pelorin.exe pelorin-client.exe Pelorin_Client.dll x86/Pelorin_Client.dll
               Uninstall.exe)
all_installed() {
    local file
    for file in "${program_files[@]}"; do [ -f "$installed/$file" ] || return 1; done
}
all_installed_in() {
    local installed=$1
    all_installed
}
none_left() {
    local file
    for file in "${program_files[@]}" x86; do [ ! -e "$installed/$file" ] || return 1; done
}

rm -rf "$work"
mkdir -p "$work"
cp "$root/client/tests/StoreClient.vbs" "$work/"
if ! prefix start; then
    echo "FAILED: making the Wine prefix"
    exit 1
fi

check "the silent install exits 0" install
check "the program files are in the folder named with /D" all_installed
check "the Start menu shortcut exists" [ -f "$shortcut" ]
check "the 64-bit view has the 64-bit DLL" has_value 64 "HKCR\\CLSID\\$clsid\\InprocServer32" \
    "(Default)" REG_SZ "$folder\\Pelorin_Client.dll"
check "the 32-bit view has the 32-bit DLL" has_value 32 "HKCR\\CLSID\\$clsid\\InprocServer32" \
    "(Default)" REG_SZ "$folder\\x86\\Pelorin_Client.dll"
check "the uninstall entry names the program" \
    has_value 64 "$uninstall_key" DisplayName REG_SZ Pelorin
check "the uninstall entry has the version" \
    has_value 64 "$uninstall_key" DisplayVersion REG_SZ "$version"
check "the uninstall entry has the silent uninstall" has_value 64 "$uninstall_key" \
    QuietUninstallString REG_SZ "\"$folder\\Uninstall.exe\" /S"
check "the uninstall entry has a size" has_size
check "the uninstall entry is in the 64-bit view only" missing 32 "$uninstall_key"

check "the installed server starts" start_server
check "the 32-bit script host uses the store" script_host 32
check "the 64-bit script host uses the store" script_host 64
check "the tool stores a file" stores_note
check "no Startup shortcut without /AUTOSTART" [ ! -e "$startup" ]

check "a silent upgrade over the running server exits 0" install
check "the upgrade closed the running server" server_ended
check "the upgraded server starts and serves the stored file" restarted
stop_server
check "an upgrade with /AUTOSTART exits 0" install /AUTOSTART
check "the Startup shortcut exists" [ -f "$startup" ]
check "the Startup shortcut starts the server listening" starts_listening

# The uninstaller copies itself away and runs from there: wait for every Wine process.
prefix stop
check "the silent uninstall exits 0" runs 32 "$folder\\Uninstall.exe" /S
timeout 120 wineserver -w
prefix start
check "the program files are gone" none_left
check "the Start menu shortcut is gone" [ ! -e "$shortcut" ]
check "the Startup shortcut is gone" [ ! -e "$startup" ]
check "the class is gone from both views" gone "HKCR\\CLSID\\$clsid"
check "the program identifier is gone" gone "HKCR\\$progid"
check "the type library is gone" gone "HKCR\\TypeLib\\$libid"
check "the uninstall entry is gone" gone "$uninstall_key"
check "the stored file stays" grep -qsx stays "$installed/data/kept/note"
check "log.txt stays" [ -s "$installed/log.txt" ]

check "a silent reinstall into the same folder exits 0" install
check "the reinstalled server starts" start_server
check "the reinstalled server serves the stored file" reads_note
stop_server

into=$other
check "an install into another folder exits 0" install
unset into
check "the program files are in the other folder" all_installed_in "$installed_other"
check "the earlier installation's program files are gone" none_left
check "its store stays where it was" grep -qsx stays "$installed/data/kept/note"
check "the uninstall entry names the other folder" \
    has_value 64 "$uninstall_key" InstallLocation REG_SZ "$other"

echo "SUMMARY: $checks checks, $failures failed"
if [ "$failures" = 0 ]; then
    trap - EXIT
    prefix stop
    rm -rf "$WINEPREFIX"
fi
exit "$failures"
