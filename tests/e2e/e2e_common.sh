# Shared by the Wine end-to-end scripts (sourced, with $here the source tree
# and $build the Windows build folder set): the Wine prefix, the UI driver,
# the screenshot taker and the contact sheet of the screenshots.

wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEARCH=win64
# No Linux menu entries, icons or file types for the shortcuts and
# associations that the tests make.
export WINEDLLOVERRIDES='mshtml=;winemenubuilder.exe=d'

shots=$build/e2e-shots

# fail MESSAGE: ends the script, keeping a picture of the screen as it was.
fail() {
  echo "FAIL: $*" >&2
  if [ -n "${DISPLAY:-}" ] && mkdir -p "$shots" && import -window root "$shots/failed-$(basename "$0" .sh).png"; then
    echo "screen at the failure: $shots/failed-$(basename "$0" .sh).png" >&2
  fi
  exit 1
}

# Ends what the script started: the screenshot taker and the prefix's
# Wine server (with every Windows program still running in it).
e2e_cleanup() {
  if [ -n "${shooter:-}" ]; then
    kill "$shooter" 2>/dev/null || true
    wait "$shooter" 2>/dev/null || true
    shooter=
  fi
  if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver -k 2>/dev/null || true; fi
}
trap e2e_cleanup EXIT

# use_prefix DIR [fresh]: makes DIR the Wine prefix, created anew with
# "fresh". Sets $work, the test's folder on the prefix's drive C:.
use_prefix() {
  export WINEPREFIX=$1
  [ "${2:-}" = fresh ] && rm -rf "$WINEPREFIX"
  # Wine links the user's Desktop, Documents and other folders to $HOME:
  # a home inside the build folder keeps even those links off the host's.
  export HOME=$build/e2e-home
  mkdir -p "$HOME"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    $wine wineboot --init >/dev/null 2>&1 </dev/null
    # A virtual desktop: without one (and without a window manager) Wine
    # draws no window frames and waits seconds for each hidden top-level
    # window to be withdrawn. The desktop process that the prefix's
    # creation started has none: it is ended with the server, so that the
    # next program starts one with the virtual desktop.
    $wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
    $wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 </dev/null
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    /usr/lib/wine/wineserver -w 2>/dev/null || true
  fi
  # Real folders in place of Wine's links to the home folder, so that every
  # file the program writes stays on drive C:.
  local folder
  for folder in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$folder" ]; then
      rm "$folder"
      mkdir "$folder"
    fi
  done
  work=$WINEPREFIX/drive_c/e2e
}

# The Windows path of a file on the prefix's drive C:.
winpath() {
  local inside=${1#"$WINEPREFIX/drive_c"}
  echo "C:${inside//\//\\}"
}

# read_folders DIR: reads every folder below DIR once. Wine's folder dialog
# finds its initial folder by comparing the folder's shell identifiers,
# which hold its last access date; under "relatime" the first listing of a
# folder after a change moves that date, so the dialog's own lookup would
# see two dates and stop short of the folder. Call it after the last change
# before a folder dialog opens.
read_folders() { ls -R "$1" >/dev/null; }

# The UI driver, cross-built once into the build folder and again whenever
# its source changes.
driver_exe=$build/e2e-bin/ui_driver.exe
if [ ! -f "$driver_exe" ] || [ "$here/tests/e2e/ui_driver.cpp" -nt "$driver_exe" ]; then
  mkdir -p "$build/e2e-bin"
  x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -static -o "$driver_exe.part" \
    "$here/tests/e2e/ui_driver.cpp" -lole32 -luuid || fail "building the UI driver"
  mv "$driver_exe.part" "$driver_exe"
fi
driver() { $wine "$driver_exe" "$@"; }

# driver_out STEP...: the driver's standard output without carriage returns.
driver_out() { $wine "$driver_exe" "$@" | tr -d '\r'; }

# start_shooter FIRST: takes the screenshots the driver asks for (its step
# "shot") from the X display, cropped to the window, as PNG files in $shots.
# Screenshots of this script are numbered from FIRST (two digits) to
# FIRST+9; older ones in that range are removed first.
start_shooter() {
  local first=$1
  local requests=$work/shot-requests
  mkdir -p "$requests" "$shots"
  rm -f "$requests"/*
  rm -f "$shots/${first:0:1}"[0-9]-*.png "$shots/failed-$(basename "$0" .sh).png"
  export UI_DRIVER_SHOTS
  UI_DRIVER_SHOTS=$(winpath "$requests")
  (
    while :; do
      for request in "$requests"/*.req; do
        [ -e "$request" ] || continue
        name=$(basename "$request" .req)
        read -r left top width height <"$request" || true
        import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shots/$name.png" ||
          echo "screenshot $name failed" >&2
        rm -f "$request"
      done
      sleep 0.1
    done
  ) &
  shooter=$!
}

# expect_shots NAME...: each screenshot was taken.
expect_shots() {
  local name
  for name in "$@"; do
    [ -s "$shots/$name.png" ] || fail "no screenshot $shots/$name.png"
  done
}

# All screenshots of all the scripts on one page, each under its name.
contact_sheet() {
  local pictures=("$shots"/[0-9][0-9]-*.png)
  [ -e "${pictures[0]}" ] || return 0
  montage -label '%t' "${pictures[@]}" -tile 4x -geometry +10+10 -font DejaVu-Sans -pointsize 14 -background '#d0d0d0' \
    "$shots/contact-sheet.png" || fail "making the contact sheet"
  echo "screenshots: $shots (contact sheet: $shots/contact-sheet.png)"
}
