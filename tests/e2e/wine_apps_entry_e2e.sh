#!/usr/bin/env bash
# End to end under Wine: the installed-programs entry. The example installer
# is installed silently for every user and for the current user; every value
# of its Uninstall key is read back with `reg query` from the scope's hive,
# the quiet uninstall string is run, and the key must be gone. Run under
# xvfb-run (the Windows program needs a display).
# Usage: tests/e2e/wine_apps_entry_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
source "$here/tests/e2e/e2e_common.sh"
use_prefix "$build/e2e-apps-prefix" fresh
drive=$WINEPREFIX/drive_c
mkdir -p "$work"
status() { local rc=0; $wine "$@" </dev/null >/dev/null 2>"$work/stderr.txt" || rc=$?; echo "$rc"; }
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\BrevionNotes'
# The data of value $2 in hive $1's key, as reg prints it.
value() { $wine reg query "$1\\$key" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }

# The example with a publisher, as winget and the Settings app read it.
cp -r "$here/examples/notes" "$work/notes"
printf 'Publisher=Example Ltd\r\nPublisherURL=https://example.com/notes\r\n' > "$work/extra.txt"
sed -i "/^#variables/r $work/extra.txt" "$work/notes/files/install.dat"
rc=$(status "$build/brevion.exe" --silent build 'C:\e2e\notes-setup.exe' 'C:\e2e\notes')
[ "$rc" = 0 ] || fail "build exit status $rc"

for scope in machine user; do
  if [ $scope = machine ]; then
    hive=HKLM; switch=/ALLUSERS; folder='C:\Example\'; data='C:\ProgramData\BrevionNotes\'
    rc=$(status 'C:\e2e\notes-setup.exe' /S $switch '/D=C:\Example')
  else
    hive=HKCU; switch=/CURRENTUSER
    rc=$(status 'C:\e2e\notes-setup.exe' /S $switch)
    folder=$(value $hive InstallLocation)
    case $folder in *'\AppData\Local\Programs\Brevion Notes\') ;; *) fail "per-user folder $folder";; esac
    data=$($wine cmd /c echo %APPDATA% | tr -d '\r')'\BrevionNotes\'
  fi
  echo "== $scope: install ($switch)"
  [ "$rc" = 0 ] || fail "install exit status $rc: $(cat "$work/stderr.txt")"
  uninstall="\"${data}uninst3.exe\" uninstall \"Brevion Notes\""
  [ "$(value $hive DisplayName)" = 'Brevion Notes' ] || fail "DisplayName"
  [ "$(value $hive DisplayVersion)" = 1.2 ] || fail "DisplayVersion"
  [ "$(value $hive Publisher)" = 'Example Ltd' ] || fail "Publisher"
  [ "$(value $hive URLInfoAbout)" = 'https://example.com/notes' ] || fail "URLInfoAbout"
  [ "$(value $hive DisplayIcon)" = "${folder}notes.ico" ] || fail "DisplayIcon $(value $hive DisplayIcon)"
  [ "$(value $hive InstallLocation)" = "$folder" ] || fail "InstallLocation"
  [ "$(value $hive UninstallString)" = "$uninstall" ] || fail "UninstallString $(value $hive UninstallString)"
  [ "$(value $hive QuietUninstallString)" = "$uninstall /S" ] || fail "QuietUninstallString"
  [[ "$(value $hive EstimatedSize)" =~ ^0x[1-9a-f][0-9a-f]*$ ]] || fail "EstimatedSize $(value $hive EstimatedSize)"
  [[ "$(value $hive InstallDate)" =~ ^20[0-9]{6}$ ]] || fail "InstallDate"
  [ "$(value $hive NoModify)" = 0x1 ] || fail "NoModify"
  [ "$(value $hive NoRepair)" = 0x1 ] || fail "NoRepair"
  if [ $scope = user ]; then
    $wine reg query "HKLM\\$key" >/dev/null 2>&1 && fail "a per-user install wrote HKLM"
  fi

  echo "== $scope: quiet uninstall"
  rc=$(status "${data}uninst3.exe" uninstall 'Brevion Notes' /S)
  [ "$rc" = 0 ] || fail "uninstall exit status $rc"
  $wine reg query "$hive\\$key" >/dev/null 2>&1 && fail "the key is still there"
done

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo PASS
