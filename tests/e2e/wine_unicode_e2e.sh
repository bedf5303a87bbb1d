#!/usr/bin/env bash
# End to end under Wine: names that no ANSI code page holds. The Windows
# program builds a project whose files are café.txt, Łódź/żółw.txt and
# 日本語/ファイル.txt and whose script (UTF-8 with a byte-order mark) names
# the program in Japanese and Polish; the installer is run silently into
# C:\Programme\Ünïcödé and into C:\アプリ, its files and shortcuts are checked
# (the links must hold the folder in UTF-16), and it is uninstalled silently
# through its uninstaller in C:\ProgramData\ノート. The same files packed by
# the Linux program (build/native, or $BREVION_NATIVE) extract under Wine with
# the same names, and packed under Wine extract on Linux. Last, a prefix whose
# user is named Łukasz gets the desktop shortcut in its profile.
# Usage: tests/e2e/wine_unicode_e2e.sh [BUILD_DIR] (under xvfb-run)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
# Arguments reach Wine as UTF-8 bytes: the locale must say so.
export LC_ALL=C.UTF-8
export WINEDEBUG=-all WINEDLLOVERRIDES='mshtml=;winemenubuilder.exe=d' WINEARCH=win64
wine=/usr/lib/wine/wine64
# The Linux program, for the archives that cross between the platforms.
native=${BREVION_NATIVE:-$here/build/native/brevion}
shortcut='ファイル żółw'

fail() { echo "FAIL: $*"; /usr/lib/wine/wineserver -k 2>/dev/null || true; exit 1; }
# Runs a Windows program and prints its exit status (never stops the script).
status() { local rc=0; $wine "$@" </dev/null >/dev/null 2>"$work/stderr.txt" || rc=$?; echo "$rc"; }
links() { find "$drive" -name "$1.lnk" | wc -l; }
# same_tree A B: the same names (byte for byte) and the same contents.
same_tree() {
  diff <(cd "$1" && find . | LC_ALL=C sort) <(cd "$2" && find . | LC_ALL=C sort) >&2 && diff -r "$1" "$2" >&2
}
# contains_utf16 FILE TEXT: FILE holds TEXT in UTF-16 (little-endian).
contains_utf16() {
  local pattern
  pattern=$(printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE | xxd -p | tr -d '\n')
  xxd -p "$1" | tr -d '\n' | grep -q "$pattern"
}

# new_prefix DIR [USER]: a fresh prefix (made for USER when given) with a
# virtual desktop; sets $drive and $work.
new_prefix() {
  export WINEPREFIX=$1
  rm -rf "$WINEPREFIX"
  # Wine links the profile's Desktop and other folders to $HOME: a home in
  # the build folder keeps those links off the host's.
  export HOME=$build/e2e-home
  mkdir -p "$HOME"
  # Wine names the profile after the user who runs it.
  if [ -n "${2:-}" ]; then export USER=$2 LOGNAME=$2; fi
  $wine wineboot --init >/dev/null 2>&1 </dev/null
  $wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
  $wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 </dev/null
  drive=$WINEPREFIX/drive_c
  # Real folders in place of Wine's links to the home folder, so that every
  # shortcut lands on drive C: of this prefix.
  local folder
  for folder in "$drive"/users/*/*; do
    if [ -L "$folder" ]; then
      rm "$folder"
      mkdir "$folder"
    fi
  done
  work=$drive/e2e
  mkdir -p "$work"
}

new_prefix "$build/e2e-unicode-prefix"

echo "== project with names outside the ANSI code page"
project=$work/project/files
mkdir -p "$project/install_dir/Łódź" "$project/install_dir/日本語"
cp -r "$here/examples/notes/files/temp_dir" "$project/"
printf 'café' >"$project/install_dir/café.txt"
printf 'żółw' >"$project/install_dir/Łódź/żółw.txt"
printf 'ファイル' >"$project/install_dir/日本語/ファイル.txt"
{
  printf '\xEF\xBB\xBF'
  printf '%s\r\n' '#variables' 'ProgramName=ノート' 'DisplayName=ノート Łódź' 'ProgramExe=café.txt' \
    'StartMenuFolder=Łódź' 'install_dir=C:\Program Files\ノート\' '#shortcuts' \
    "dp|\$install_dir\$日本語\\ファイル.txt||$shortcut|\$install_dir\$café.txt"
} >"$project/install.dat"
rc=$(status "$build/brevion.exe" --silent build 'C:\e2e\unicode-setup.exe' 'C:\e2e\project')
[ "$rc" = 0 ] || fail "build exit status $rc: $(cat "$work/stderr.txt")"

for folder in 'Programme\Ünïcödé' 'アプリ'; do
  unix=$drive/${folder//\\//}
  echo "== silent install into C:\\$folder"
  rc=$(status 'C:\e2e\unicode-setup.exe' /S "/D=C:\\$folder" '/LOG=C:\e2e\unicode.log')
  [ "$rc" = 0 ] || fail "install exit status $rc: $(cat "$work/stderr.txt")"
  for file in café.txt Łódź/żółw.txt 日本語/ファイル.txt; do
    cmp "$project/install_dir/$file" "$unix/$file" || fail "installed $file differs"
  done
  [ "$(links "$shortcut")" = 2 ] || fail "desktop and Start menu shortcuts '$shortcut' missing"
  [ "$(links 'Uninstall ノート Łódź')" = 1 ] || fail "uninstall shortcut missing"
  [ "$(links '*')" = 3 ] || fail "other shortcuts than the three: $(find "$drive" -name '*.lnk')"
  while read -r link; do
    contains_utf16 "$link" "C:\\$folder\\日本語" || fail "$link does not hold C:\\$folder\\日本語"
    contains_utf16 "$link" "C:\\$folder\\café.txt" || fail "$link does not hold its icon C:\\$folder\\café.txt"
  done < <(find "$drive" -name "$shortcut.lnk")
  grep -q 'Finished with exit code 0' "$work/unicode.log" || fail "the log does not end well"

  echo "== silent uninstall"
  rc=$(status 'C:\ProgramData\ノート\uninst3.exe' /S uninstall 'ノート Łódź')
  [ "$rc" = 0 ] || fail "uninstall exit status $rc: $(cat "$work/stderr.txt")"
  [ ! -e "$unix" ] || fail "C:\\$folder is still there"
  [ "$(links "$shortcut")" = 0 ] || fail "shortcuts are still there"
  [ ! -e "$drive/ProgramData/ノート/ノート Łódź.inst" ] || fail "the uninstall log is still there"
done

echo "== an archive packed on Linux extracts under Wine with the same names, and the other way"
[ -x "$native" ] || fail "no Linux program at $native: build the native preset first"
mkdir -p "$work/linux-out" "$work/wine-out"
"$native" archive "$work/linux-out" "$project/install_dir" --name=linux-made --silent >/dev/null \
  || fail "the Linux program could not pack $project/install_dir"
rc=$(status "$build/brevion.exe" 'C:\e2e\linux-out\linux-made.bvarc' '--dir=C:\e2e\from-linux' --silent)
[ "$rc" = 0 ] || fail "extracting the Linux-made archive under Wine: exit status $rc: $(cat "$work/stderr.txt")"
same_tree "$project/install_dir" "$work/from-linux" || fail "the Linux-made archive extracted under Wine differs"
rc=$(status "$build/brevion.exe" archive 'C:\e2e\wine-out' 'C:\e2e\project\files\install_dir' --name=wine-made --silent)
[ "$rc" = 0 ] || fail "packing under Wine: exit status $rc: $(cat "$work/stderr.txt")"
"$native" "$work/wine-out/wine-made.bvarc" --dir="$work/from-wine" --silent >/dev/null \
  || fail "the Linux program could not extract $work/wine-out/wine-made.bvarc"
same_tree "$project/install_dir" "$work/from-wine" || fail "the archive made under Wine extracted on Linux differs"
/usr/lib/wine/wineserver -k 2>/dev/null || true
cp "$work/unicode-setup.exe" "$build/unicode-setup.exe"

echo "== a user named Łukasz gets the desktop shortcut"
new_prefix "$build/e2e-unicode-user-prefix" Łukasz
[ -d "$drive/users/Łukasz" ] || fail "Wine made no profile C:\\users\\Łukasz"
mv "$build/unicode-setup.exe" "$work/unicode-setup.exe"
rc=$(status 'C:\e2e\unicode-setup.exe' /S '/D=C:\アプリ')
[ "$rc" = 0 ] || fail "install exit status $rc: $(cat "$work/stderr.txt")"
desktop=$(find "$drive/users/Łukasz" -maxdepth 2 -name "$shortcut.lnk" | head -1)
[ -n "$desktop" ] || fail "no desktop shortcut in C:\\users\\Łukasz"
contains_utf16 "$desktop" 'C:\アプリ\日本語' || fail "$desktop does not hold C:\\アプリ\\日本語"

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "PASS"
