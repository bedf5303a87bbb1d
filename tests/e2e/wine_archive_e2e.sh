#!/usr/bin/env bash
# End to end under Wine: the Windows program packs a folder in archive mode
# and extracts the archive again, with ui_driver answering its input box,
# folder dialog and message boxes as a user would. Needs a display (run it
# under xvfb-run). Usage: tests/e2e/wine_archive_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
export WINEPREFIX=$build/e2e-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mshtml= WINEARCH=win64
wine=/usr/lib/wine/wine64
# A virtual desktop: without a window manager, Wine waits seconds for each
# hidden top-level window to be withdrawn.
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

# Everything the program writes stays inside the prefix's drive C:, so that a
# folder dialog that goes astray cannot touch the host's folders.
work=$WINEPREFIX/drive_c/e2e
rm -rf "$work"
mkdir -p "$work/files/sub" "$work/out"

x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -o "$work/ui_driver.exe" "$here/tests/e2e/ui_driver.cpp"
winpath() { local inside=${1#"$WINEPREFIX/drive_c"}; echo "C:${inside//\//\\}"; }

printf 'first file\r\n' > "$work/files/readme.txt"
head -c 200000 /dev/urandom > "$work/files/sub/data.bin"
seq 1 20000 > "$work/files/sub/numbers.txt"

fail() { echo "FAIL: $*"; /usr/lib/wine/wineserver -k 2>/dev/null || true; exit 1; }

echo "== archive mode"
$wine "$build/brevion.exe" archive "$(winpath "$work/out")" "$(winpath "$work/files")" &
program=$!
$wine "$work/ui_driver.exe" wait BrevionInputBox type BrevionInputBox demo click OK answer OK ||
  fail "driving the archive mode"
wait $program || fail "archive mode exit status $?"
[ -s "$work/out/demo.bvarc" ] || fail "no archive written"

echo "== extract mode"
$wine "$build/brevion.exe" "$(winpath "$work/out/demo.bvarc")" &
program=$!
# The folder dialog starts at the archive's folder; OK extracts there.
$wine "$work/ui_driver.exe" wait '#32770' field '#32770' out answer OK answer OK || fail "driving the extract mode"
wait $program || fail "extract mode exit status $?"
rm "$work/out/demo.bvarc"
diff -r "$work/files" "$work/out" || fail "extracted files differ"

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "PASS"
