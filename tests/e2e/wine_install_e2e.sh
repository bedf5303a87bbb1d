#!/usr/bin/env bash
# End to end under Wine: the Windows program builds an installer from the
# example project, and ui_driver walks that installer's wizard as a user
# would (Install, I Accept, Next, Close). Checks the installed files. Needs a
# display (run it under xvfb-run). Usage: tests/e2e/wine_install_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
export WINEPREFIX=$build/e2e-install-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mshtml= WINEARCH=win64
wine=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
# A virtual desktop: without a window manager, Wine waits seconds for each
# hidden top-level window to be withdrawn.
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

# Everything the program writes stays inside the prefix's drive C:.
work=$WINEPREFIX/drive_c/e2e
mkdir -p "$work"
x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -o "$work/ui_driver.exe" "$here/tests/e2e/ui_driver.cpp"
driver() { $wine "$work/ui_driver.exe" "$@"; }
fail() { echo "FAIL: $*"; /usr/lib/wine/wineserver -k 2>/dev/null || true; exit 1; }

echo "== build mode"
$wine "$build/brevion.exe" build 'C:\e2e\notes-setup.exe' "Z:${here//\//\\}\\examples\\notes" &
program=$!
driver wait TDInstallMain click OK || fail "driving the build"
wait $program || fail "build exit status $?"
[ -s "$work/notes-setup.exe" ] || fail "no installer written"

echo "== installer wizard"
$wine 'C:\e2e\notes-setup.exe' &
program=$!
driver wait TDInstallMain click Install click 'I Accept' click Next click Close || fail "driving the wizard"
wait $program || fail "installer exit status $?"
installed="$WINEPREFIX/drive_c/Program Files/Brevion Notes"
for file in notes.cmd notes.ico Readme.txt samples/first.bvnote; do
  cmp "$here/examples/notes/files/install_dir/$file" "$installed/$file" || fail "installed $file differs"
done

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "PASS"
