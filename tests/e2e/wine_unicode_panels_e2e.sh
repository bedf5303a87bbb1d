#!/usr/bin/env bash
# End to end under Wine: the wizard's panels with display names outside the
# ANSI code page. Installers named in Japanese and in Polish are built and
# walked through by the UI driver; the Options panel of each goes to the
# contact sheet (50-...), where the names must read as written.
# Usage: tests/e2e/wine_unicode_panels_e2e.sh [BUILD_DIR] (under xvfb-run)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
# Arguments reach Wine as UTF-8 bytes: the locale must say so.
export LC_ALL=C.UTF-8
source "$here/tests/e2e/e2e_common.sh"

use_prefix "$build/e2e-unicode-panels-prefix" fresh
# The faces the wizard and Wine's captions ask for are missing here; the
# host's VL PGothic (scripts/setup installs it) takes their place, as a
# Japanese system's own font would, so that Japanese names are legible.
for face in 'MS Sans Serif' 'Microsoft Sans Serif' 'Comic Sans MS' 'Trebuchet MS' 'Tahoma'; do
  $wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'VL PGothic' /f >/dev/null 2>&1 </dev/null
done
drive=$WINEPREFIX/drive_c
mkdir -p "$work"
start_shooter 50

number=50
for name in 'ノート 日本語テキスト' 'Zażółć gęślą jaźń'; do
  language=$([ $number = 50 ] && echo japanese || echo polish)
  echo "== the wizard of \"$name\""
  project=$work/$language/files
  mkdir -p "$project/install_dir"
  cp -r "$here/examples/notes/files/temp_dir" "$project/"
  printf '%s' "$name" >"$project/install_dir/$language.txt"
  {
    printf '\xEF\xBB\xBF'
    printf '%s\r\n' '#variables' "ProgramName=Unicode$language" "DisplayName=$name" \
      "install_dir=C:\\Program Files\\$name\\" "apps_dir=C:\\Program Files\\$name\\"
  } >"$project/install.dat"
  $wine "$build/brevion.exe" --silent build "C:\\e2e\\$language-setup.exe" "$(winpath "$work/$language")" \
    </dev/null >/dev/null 2>&1 || fail "building the $language installer"
  $wine "C:\\e2e\\$language-setup.exe" &
  program=$!
  driver wait TDInstallMain click Install click 'I Accept' see 'Installation Options' \
    shot "$number-options-$language" TDInstallMain click Next click Close || fail "driving the $language wizard"
  wait $program || fail "$language installer exit status $?"
  [ -s "$drive/Program Files/$name/$language.txt" ] || fail "nothing installed into C:\\Program Files\\$name"
  number=$((number + 1))
done

expect_shots 50-options-japanese 51-options-polish
contact_sheet
echo "PASS"
