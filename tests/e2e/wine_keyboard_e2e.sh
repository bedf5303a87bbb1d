#!/usr/bin/env bash
# End to end under Wine, keyboard only: builds the example's installer,
# walks its whole wizard with Enter, Tab, Shift+Tab, Space, Escape, the
# arrows and Alt+letter (Escape inside the licence text asks to exit and
# "No" leaves the panel whole), checks the installation, answers the
# uninstaller's question with Escape (nothing goes) and then with Enter
# (everything goes). Then pictures of the licence panel at 100, 150 and
# 200 % (Wine's LogPixels) for the contact sheet, each window checked to
# have grown with the scale. Needs a display (run it under xvfb-run); it
# starts its own, larger one for the 200 % picture.
# Usage: tests/e2e/wine_keyboard_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
if [ -z "${BREVION_E2E_LARGE_SCREEN:-}" ]; then
  # The wizard is 1100 pixels wide at 200 %.
  BREVION_E2E_LARGE_SCREEN=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build"
fi
source "$here/tests/e2e/e2e_common.sh"

use_prefix "$build/e2e-keys-prefix" fresh
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1 </dev/null
/usr/lib/wine/wineserver -w 2>/dev/null || true
mkdir -p "$work"
start_shooter 40
drive=$WINEPREFIX/drive_c

echo "== build mode"
$wine "$build/brevion.exe" build 'C:\e2e\notes-setup.exe' "Z:${here//\//\\}\\examples\\notes" &
program=$!
driver wait TDInstallMain see 'Finished!' key Enter gone TDInstallMain || fail "driving the build"
wait $program || fail "build exit status $?"
[ -s "$work/notes-setup.exe" ] || fail "no installer written"

echo "== the wizard by keyboard"
$wine 'C:\e2e\notes-setup.exe' &
program=$!
options_folder='C:\Program Files\Brevion Notes\'
driver wait 'Installing Brevion Notes' see 'This wizard installs Brevion Notes' focus Install key Enter \
  see 'HAVE READ AND ACCEPT THE LICENSE AGREEMENT BELOW:' see 'Brevion Notes licence' focus 'I Accept' \
  key Shift+Tab focus Edit key Escape wait 'Exit Installer' shot 40-keys-escape-in-licence 'Exit Installer' \
  key Alt+N gone 'Exit Installer' see 'Brevion Notes licence' focus Edit key Tab focus 'I Accept' key Space \
  see 'Installation Options' focus Next key Shift+Tab focus "$options_folder" key Down key Down key Up key Up \
  field TDInstallMain "$options_folder" key Alt+V shot 41-keys-options TDInstallMain key Enter \
  focus Next key Enter see 'Your installation is complete.' focus Close key Enter ||
  fail "driving the wizard by keyboard"
wait $program || fail "installer exit status $?"

installed="$drive/Program Files/Brevion Notes"
for file in notes.cmd notes.ico Readme.txt samples/first.bvnote; do
  cmp "$here/examples/notes/files/install_dir/$file" "$installed/$file" || fail "installed $file differs"
done

echo "== the uninstaller's question by keyboard"
uninstaller='C:\ProgramData\BrevionNotes\uninst3.exe'
$wine "$uninstaller" uninstall 'Brevion Notes' &
program=$!
driver wait 'Uninstalling Brevion Notes' focus Yes key Escape gone 'Uninstalling Brevion Notes' ||
  fail "answering No with Escape"
wait $program || true  # "No" ends the uninstaller without uninstalling
[ -f "$installed/notes.cmd" ] || fail "Escape uninstalled"
$wine "$uninstaller" uninstall 'Brevion Notes' &
program=$!
driver wait 'Uninstalling Brevion Notes' focus Yes key Enter see 'The program has been uninstalled.' key Enter ||
  fail "answering Yes with Enter"
wait $program || fail "uninstaller exit status $?"
[ ! -e "$installed" ] || fail "the install folder is still there"

echo "== the licence panel at 100, 150 and 200 %"
for dpi in 96 144 192; do
  percent=$((dpi * 100 / 96))
  $wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null
  $wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  $wine 'C:\e2e\notes-setup.exe' &
  program=$!
  name=4$((dpi / 48))-licence-at-$percent-percent
  driver wait 'Installing Brevion Notes' focus Install key Enter see 'Brevion Notes licence' \
    shot "$name" TDInstallMain key Escape wait 'Exit Installer' key Alt+Y ||
    fail "showing the licence at $percent %"
  wait $program || true  # the run was cancelled on purpose
  width=$(identify -format '%w' "$shots/$name.png")
  [ "$width" -ge $((550 * dpi / 96)) ] || fail "the window at $percent % is $width pixels wide"
done

expect_shots 40-keys-escape-in-licence 41-keys-options 42-licence-at-100-percent 43-licence-at-150-percent \
  44-licence-at-200-percent
contact_sheet
echo "PASS"
