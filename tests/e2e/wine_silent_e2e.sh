#!/usr/bin/env bash
# End to end under Wine: unattended installs and uninstalls. The Windows
# program builds the example installer (with itself as the .exe stub), which
# is then run silently with the short and the long spellings of the options,
# checked (files, shortcuts, exit codes), uninstalled silently, and finally
# a damaged copy must fail with the damaged-package code. No window is
# driven, yet the Windows program needs a display: run it under xvfb-run.
# Usage: tests/e2e/wine_silent_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
export WINEPREFIX=$build/e2e-silent-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mshtml= WINEARCH=win64
wine=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

drive=$WINEPREFIX/drive_c
work=$drive/e2e
mkdir -p "$work"
fail() { echo "FAIL: $*"; /usr/lib/wine/wineserver -k 2>/dev/null || true; exit 1; }
# Runs a Windows program and prints its exit status (never stops the script).
status() { local rc=0; $wine "$@" </dev/null >/dev/null 2>"$work/stderr.txt" || rc=$?; echo "$rc"; }
links() { find "$drive" -name "$1" | wc -l; }

echo "== silent build"
rc=$(status "$build/brevion.exe" --silent build 'C:\e2e\notes-setup.exe' "Z:${here//\//\\}\\examples\\notes")
[ "$rc" = 0 ] || fail "build exit status $rc"
[ -s "$work/notes-setup.exe" ] || fail "no installer written"
uninstaller='C:\ProgramData\BrevionNotes\uninst3.exe'

for form in short long; do
  if [ $form = short ]; then
    folder=Example; rc=$(status 'C:\e2e\notes-setup.exe' /S '/D=C:\Example' '/LOG=C:\e2e\short.log')
  else
    folder=Example2; rc=$(status 'C:\e2e\notes-setup.exe' --silent '--dir=C:\Example2' '--log=C:\e2e\long.log')
  fi
  echo "== silent install ($form options) into C:\\$folder"
  [ "$rc" = 0 ] || fail "install exit status $rc: $(cat "$work/stderr.txt")"
  for file in notes.cmd notes.ico Readme.txt samples/first.bvnote; do
    cmp "$here/examples/notes/files/install_dir/$file" "$drive/$folder/$file" || fail "installed $file differs"
  done
  [ "$(links 'Brevion Notes.lnk')" -ge 2 ] || fail "desktop and Start menu shortcuts missing"
  [ "$(links 'Uninstall Brevion Notes.lnk')" = 1 ] || fail "uninstall shortcut missing"
  grep -q 'Finished with exit code 0' "$work/$form.log" || fail "the log does not end well"

  echo "== silent uninstall"
  rc=$(status "$uninstaller" /S uninstall 'Brevion Notes')
  [ "$rc" = 0 ] || fail "uninstall exit status $rc"
  [ ! -e "$drive/$folder" ] || fail "C:\\$folder is still there"
  [ "$(links '*Brevion Notes*.lnk')" = 0 ] || fail "shortcuts are still there"
done

echo "== damaged installer"
cp "$work/notes-setup.exe" "$work/damaged-setup.exe"
size=$(stat -c %s "$work/damaged-setup.exe")
# One byte in the package, past the stub: the checksum no longer matches.
printf '\x5a' | dd of="$work/damaged-setup.exe" bs=1 seek=$((size - 4000)) conv=notrunc status=none
rc=$(status 'C:\e2e\damaged-setup.exe' /S '/D=C:\Damaged' '/LOG=C:\e2e\damaged.log')
# A package that does not open: the installer could not start.
[ "$rc" = 1 ] || fail "damaged installer exit status $rc, expected 1"
[ ! -e "$drive/Damaged" ] || fail "a damaged installer wrote files"
grep -q 'exit code 1' "$work/damaged.log" || fail "the log does not tell the damage"

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "PASS"
