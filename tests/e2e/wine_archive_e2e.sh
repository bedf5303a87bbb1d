#!/usr/bin/env bash
# End to end under Wine: the Windows program packs a folder in archive mode
# and extracts the archive again, with ui_driver answering its input box,
# folder dialog and message boxes as a user would; then extracts it twice
# more over a folder holding a file of the same name as one in the archive,
# answering the overwrite question "Yes" once (the file is replaced) and
# "No" once (the user's file stays). Screenshots of the dialogs go to the
# build folder's e2e-shots. Needs a display (run it under xvfb-run).
# Usage: tests/e2e/wine_archive_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
source "$here/tests/e2e/e2e_common.sh"

# Everything the program writes stays inside the prefix's drive C:, so that a
# folder dialog that goes astray cannot touch the host's folders.
use_prefix "$build/e2e-prefix"
rm -rf "$work"
mkdir -p "$work/files/sub" "$work/out"
start_shooter 10

printf 'first file\r\n' >"$work/files/readme.txt"
head -c 200000 /dev/urandom >"$work/files/sub/data.bin"
seq 1 20000 >"$work/files/sub/numbers.txt"

echo "== archive mode"
$wine "$build/brevion.exe" archive "$(winpath "$work/out")" "$(winpath "$work/files")" &
program=$!
driver wait BrevionInputBox see 'Archive File Name:' type BrevionInputBox demo shot 10-archive-name BrevionInputBox \
  click OK see 'Archiving Successful' shot 11-archived '#32770' answer OK || fail "driving the archive mode"
wait $program || fail "archive mode exit status $?"
[ -s "$work/out/demo.bvarc" ] || fail "no archive written"

echo "== extract mode"
cp "$work/out/demo.bvarc" "$work/demo.bvarc"
read_folders "$work"
$wine "$build/brevion.exe" "$(winpath "$work/out/demo.bvarc")" &
program=$!
# The folder dialog starts at the archive's folder; OK extracts there.
driver wait '#32770' see 'Choose a directory to extract files to.' field '#32770' out \
  shot 12-extract-folder '#32770' answer OK see 'Files extracted successfully' answer OK ||
  fail "driving the extract mode"
wait $program || fail "extract mode exit status $?"
rm "$work/out/demo.bvarc"
diff -r "$work/files" "$work/out" || fail "extracted files differ"

# extract_over FOLDER ANSWER [SHOT]: extracts the archive, from inside
# FOLDER, into FOLDER, where a file readme.txt of the user's is; ANSWER is
# given to the one overwrite question, which is photographed as SHOT.
extract_over() {
  local folder=$work/$1 answer=$2 shot=${3:-}
  mkdir -p "$folder"
  cp "$work/demo.bvarc" "$folder/demo.bvarc"
  printf "the user's own readme\r\n" >"$folder/readme.txt"
  local question="The file $(winpath "$folder")\\readme.txt exists. Do you wish to overwrite it?"
  read_folders "$work"
  $wine "$build/brevion.exe" "$(winpath "$folder/demo.bvarc")" &
  program=$!
  driver wait '#32770' field '#32770' "$1" answer OK \
    wait 'Overwrite Prompt' see "$question" ${shot:+shot "$shot" 'Overwrite Prompt'} click "$answer" \
    gone 'Overwrite Prompt' see 'Files extracted successfully' answer OK || fail "driving the extraction over $1"
  wait $program || fail "extract mode over $1: exit status $?"
  rm "$folder/demo.bvarc"
  cmp "$work/files/sub/data.bin" "$folder/sub/data.bin" || fail "extracted data.bin differs in $1"
  cmp "$work/files/sub/numbers.txt" "$folder/sub/numbers.txt" || fail "extracted numbers.txt differs in $1"
}

echo "== extract mode over an existing file: Yes"
extract_over yes Yes 13-overwrite
cmp "$work/files/readme.txt" "$work/yes/readme.txt" || fail "\"Yes\" did not replace readme.txt"

echo "== extract mode over an existing file: No"
extract_over no No
[ "$(cat "$work/no/readme.txt")" = $'the user\'s own readme\r' ] || fail "\"No\" did not keep the user's readme.txt"

expect_shots 10-archive-name 11-archived 12-extract-folder 13-overwrite
contact_sheet
echo "PASS"
