#!/usr/bin/env bash
# End to end under Wine, in a fresh prefix: the Windows program builds an
# installer from the example project; ui_driver walks that installer's
# wizard as a user would (Install, I Accept, Next, Close), then starts the
# Start-menu shortcut "Uninstall Brevion Notes" and confirms. Checks the
# installed files, the shortcuts as the shell reads them, the association's
# registry values, the uninstall log and the uninstaller copy, and after the
# uninstall that all of these are gone, except what stays by design (the
# associations, the uninstaller and its folder), and that nothing else on
# the drive went with them. Before that, a larger installer is cancelled on
# its Status panel: the drive and the registry must be as they were.
# Screenshots of each panel go to the build folder's e2e-shots. Needs a
# display (run it under xvfb-run).
# Usage: tests/e2e/wine_install_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
source "$here/tests/e2e/e2e_common.sh"

use_prefix "$build/e2e-install-prefix" fresh
mkdir -p "$work"
start_shooter 01
drive=$WINEPREFIX/drive_c

# What belongs to the user, beside and below the folders the installation
# writes to: none of it may go with the uninstall.
user_desktop=$(cd "$drive/users" && ls -d */Desktop | grep -v "^Public/" | head -n 1)
desktop=$drive/users/$user_desktop
start_menu="$drive/ProgramData/Microsoft/Windows/Start Menu"
printf 'mine\r\n' >"$desktop/my notes.txt"
mkdir -p "$start_menu/Programs/Other Tool" "$drive/Program Files/Other Tool"
printf 'other\r\n' >"$start_menu/Programs/Other Tool/Other Tool.txt"
printf 'other\r\n' >"$drive/Program Files/Other Tool/tool.txt"
# Every file and folder of the drive, but the test's own folder.
drive_listing() { (cd "$drive" && find . -path ./e2e -prune -o -print | LC_ALL=C sort); }
drive_listing >"$work/before-install.txt"

echo "== build mode"
$wine "$build/brevion.exe" build 'C:\e2e\notes-setup.exe' "Z:${here//\//\\}\\examples\\notes" &
program=$!
driver wait TDInstallMain see 'Your installer executable is ready to go.' see 'Finished!' \
  shot 01-build-status TDInstallMain click OK || fail "driving the build"
wait $program || fail "build exit status $?"
[ -s "$work/notes-setup.exe" ] || fail "no installer written"

echo "== cancel during the Status panel"
# A payload that keeps the Status panel up while the user cancels: 64 MB
# in 4,096 files (a single large file is written in a fraction of a
# second). The drive and the registry must then be as they were.
cp -r "$here/examples/notes" "$work/large"
mkdir "$work/large/files/install_dir/parts"
head -c 48M /dev/urandom | base64 | split -b 16k - "$work/large/files/install_dir/parts/part-"
$wine "$build/brevion.exe" --silent build 'C:\e2e\large-setup.exe' 'C:\e2e\large' </dev/null >"$work/large.log" 2>&1 ||
  fail "building the large installer: $(cat "$work/large.log")"
rm -r "$work/large"
$wine 'C:\e2e\large-setup.exe' &
program=$!
driver wait 'Installing Brevion Notes' click Install see 'Brevion Notes licence' click 'I Accept' \
  see 'Installation Options' click Next see 'Extracting files ...' click Cancel \
  see 'Your installation was canceled. Your application is not ready.' \
  shot 08-cancelled TDInstallMain click Cancel || fail "driving the cancel"
status=0
wait $program || status=$?
[ "$status" = 5 ] || fail "the cancelled installer exits $status, not 5 (cancelled during the install)"
# Wine's own folders (temporary files, caches) may change meanwhile.
drive_listing | grep -v -e '^\./users/[^/]*/Temp/' -e '^\./users/[^/]*/AppData/' -e '^\./windows/' >"$work/after-cancel.txt"
changed=$(grep -v -e '^\./users/[^/]*/Temp/' -e '^\./users/[^/]*/AppData/' -e '^\./windows/' "$work/before-install.txt" |
  LC_ALL=C diff - "$work/after-cancel.txt" || true)
[ -z "$changed" ] || fail "the cancelled install changed the drive:"$'\n'"$changed"
driver_out regget 'HKCR\.bvnote\shell\open\command' >/dev/null 2>&1 && fail "the cancelled install left an association"
$wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BrevionNotes' >/dev/null 2>&1 &&
  fail "the cancelled install left an installed-programs entry"
rm "$work/large-setup.exe"

echo "== installer wizard"
$wine 'C:\e2e\notes-setup.exe' &
program=$!
# The example's Intro page replaces the Intro panel; its buttons are the
# Custom panel's.
driver wait 'Installing Brevion Notes' see 'This wizard installs Brevion Notes' shot 02-intro TDInstallMain \
  click Install see 'HAVE READ AND ACCEPT THE LICENSE AGREEMENT BELOW:' see 'Brevion Notes licence' \
  shot 03-license TDInstallMain click 'I Accept' \
  see 'Installation Options' field TDInstallMain 'C:\Program Files\Brevion Notes\' \
  shot 04-options TDInstallMain click Next \
  see 'Thank you for installing Brevion Notes.' see 'Your installation is complete.' \
  shot 05-finished TDInstallMain click Close || fail "driving the wizard"
wait $program || fail "installer exit status $?"

echo "== installed files"
installed="$drive/Program Files/Brevion Notes"
for file in notes.cmd notes.ico Readme.txt samples/first.bvnote; do
  cmp "$here/examples/notes/files/install_dir/$file" "$installed/$file" || fail "installed $file differs"
done

echo "== shortcuts"
program_dir='C:\Program Files\Brevion Notes\'
data_dir='C:\ProgramData\BrevionNotes\'
# check_link FILE TARGET ARGUMENTS ICON: the link as the shell reads it; its
# working folder is always its target's folder.
check_link() {
  local file=$1 expected actual
  [ -f "$file" ] || fail "no shortcut $file"
  expected=$(printf 'target=%s\narguments=%s\nworkdir=%s\nicon=%s' "$2" "$3" "${2%\\*}\\" "$4")
  actual=$(driver_out readlink "$(winpath "$file")") || fail "reading the shortcut $file"
  [ "$actual" = "$expected" ] ||
    fail "shortcut $file reads"$'\n'"$actual"$'\n'"instead of"$'\n'"$expected"
}
check_link "$desktop/Brevion Notes.lnk" "${program_dir}notes.cmd" '' "${program_dir}notes.ico,0"
check_link "$start_menu/Brevion Notes/Brevion Notes.lnk" "${program_dir}notes.cmd" '' "${program_dir}notes.ico,0"
check_link "$start_menu/Brevion Notes/Brevion Notes Readme.lnk" "${program_dir}Readme.txt" '' ''
check_link "$start_menu/Programs/Brevion Notes/Brevion Notes.lnk" "${program_dir}notes.cmd" '' \
  "${program_dir}notes.ico,0"
uninstall_link="$start_menu/Programs/Brevion Notes/Uninstall Brevion Notes.lnk"
check_link "$uninstall_link" "${data_dir}uninst3.exe" 'uninstall "Brevion Notes"' ''

echo "== file association"
check_association() {
  local command icon
  command=$(driver_out regget 'HKCR\.bvnote\shell\open\command') || fail "no open command for .bvnote"
  [ "$command" = "${program_dir}notes.cmd %1" ] || fail ".bvnote opens with \"$command\""
  icon=$(driver_out regget 'HKCR\.bvnote\DefaultIcon') || fail "no icon for .bvnote"
  [ "$icon" = "${program_dir}notes.ico,0" ] || fail ".bvnote has the icon \"$icon\""
}
check_association

echo "== uninstall log and uninstaller"
data="$drive/ProgramData/BrevionNotes"
printf '%s\r\n' \
  'dir|C:\Program Files\Brevion Notes\' \
  'version|1.2' \
  'folder|C:\Program Files\Brevion Notes\' \
  'folder|C:\Program Files\Brevion Notes\samples\' \
  'shortcut|Brevion Notes|user_desktop||' \
  'shortcut|Brevion Notes|startmenu|Brevion Notes|' \
  'shortcut|Brevion Notes|programs|Brevion Notes|' \
  'shortcut|Uninstall Brevion Notes|programs|Brevion Notes|' \
  'shortcut|Brevion Notes Readme|startmenu|Brevion Notes|' \
  'assoc|C:\Program Files\Brevion Notes\notes.cmd|.bvnote|C:\Program Files\Brevion Notes\notes.ico' \
  'apps|BrevionNotes|machine' \
  >"$work/expected.inst"
cmp "$work/expected.inst" "$data/Brevion Notes.inst" ||
  fail "the uninstall log differs: $(cat -A "$data/Brevion Notes.inst")"
# The uninstaller is the installer's own (branded) program followed by its
# 8-byte tail.
uninstaller="$data/uninst3.exe"
[ -f "$uninstaller" ] || fail "no uninstaller copy"
stub_size=$(($(stat -c %s "$uninstaller") - 8))
cmp -n "$stub_size" "$work/notes-setup.exe" "$uninstaller" || fail "the uninstaller is not the installer's program"
[ "$(tail -c 8 "$uninstaller" | od -An -tx1 | tr -d ' \n')" = 283e500000000000 ] ||
  fail "the uninstaller's tail is not 5258792"

# A file the user saves into the program's folder after the installation.
printf 'my settings\r\n' >"$installed/my settings.txt"

echo "== uninstall through the Start-menu shortcut"
driver launch "$(winpath "$uninstall_link")" wait 'Uninstalling Brevion Notes' \
  see 'This program will uninstall Brevion Notes. Are you sure you wish to continue?' \
  shot 06-uninstall TDInstallMain click Yes \
  see 'The program has been uninstalled.' see '1 file not installed by the program was kept in' \
  shot 07-uninstalled '#32770' answer OK ended ||
  fail "driving the uninstaller"

echo "== after the uninstall"
# Only the user's file is left in the folder.
[ "$(cd "$installed" && find . | LC_ALL=C sort | tr '\n' ' ')" = '. ./my settings.txt ' ] ||
  fail "the install folder holds more than the user's file: $(cd "$installed" && find .)"
rm -r "$installed"
[ ! -e "$data/Brevion Notes.inst" ] || fail "the uninstall log is still there"
for link in "$desktop/Brevion Notes.lnk" "$start_menu/Brevion Notes" "$start_menu/Programs/Brevion Notes"; do
  [ ! -e "$link" ] || fail "$link is still there"
done
# By design the associations, the uninstaller and its folder stay.
check_association
[ -f "$uninstaller" ] || fail "the uninstaller copy went with the uninstall"
drive_listing >"$work/after-uninstall.txt"
gone=$(LC_ALL=C comm -23 "$work/before-install.txt" "$work/after-uninstall.txt")
[ -z "$gone" ] || fail "the uninstall removed what it had not installed:"$'\n'"$gone"
# Left over: the uninstaller's folder, and whatever Wine keeps in its own
# folders (temporary files, caches).
left=$(LC_ALL=C comm -13 "$work/before-install.txt" "$work/after-uninstall.txt" |
  grep -v -e '^\./users/[^/]*/Temp/' -e '^\./users/[^/]*/AppData/' -e '^\./windows/' || true)
[ "$left" = $'./ProgramData/BrevionNotes\n./ProgramData/BrevionNotes/uninst3.exe' ] ||
  fail "the uninstall left behind:"$'\n'"$left"

expect_shots 01-build-status 02-intro 03-license 04-options 05-finished 06-uninstall 07-uninstalled \
  08-cancelled
contact_sheet
echo "PASS"
