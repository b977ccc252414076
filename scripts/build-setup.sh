#!/bin/sh
# Builds the Windows setup program build/setup/Pelorin-<version>-setup.exe with NSIS from
# packaging/windows/Pelorin.nsi. It builds what it packs in the trees of the windows and windows32
# presets (the 64-bit server program, tool and client DLL; the 32-bit client DLL) and
# packs stripped copies: without their debugging information these builds are the
# release builds. The version is the CMake project version.
#   scripts/build-setup.sh
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

for preset in windows windows32; do
    cmake --preset "$preset" >/dev/null
done
cmake --build --preset windows -j2 --target pelorin pelorin-client Pelorin_Client
cmake --build --preset windows32 -j2 --target Pelorin_Client

# project() keeps the top-level project's version in the cache of every tree.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
if [ -z "$version" ]; then
    echo "build/windows/CMakeCache.txt has no project version" >&2
    exit 1
fi
# A version resource takes four numbers.
file_version=$(echo "$version.0.0.0" | cut -d. -f1-4)

out=$PWD/build/setup
files=$out/files
rm -rf "$files"
mkdir -p "$files/x64" "$files/x86"
for file in server/Pelorin.exe client/pelorin-client.exe client/Pelorin_Client.dll; do
    x86_64-w64-mingw32-strip -o "$files/x64/${file#*/}" "build/windows/$file"
done
i686-w64-mingw32-strip -o "$files/x86/Pelorin_Client.dll" build/windows32/client/Pelorin_Client.dll

# Only this version's: the install test takes the one setup program there is.
rm -f "$out"/Pelorin-*-setup.exe
setup=$out/Pelorin-$version-setup.exe
makensis -V2 -WX -DVERSION="$version" -DFILE_VERSION="$file_version" -DFILES="$files" \
    -DOUTFILE="$setup" packaging/windows/Pelorin.nsi
echo "built $setup ($(stat -c %s "$setup") bytes)"
