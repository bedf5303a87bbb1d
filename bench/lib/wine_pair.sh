# The Wine pair of throughput.sh, sourced by it: the Windows program's
# stored and zlib installers of the tree, installed silently under Wine,
# against `xcopy /E /I` of the same tree in the same prefix.
#
# Expects from throughput.sh: WORK, PROJECT, TREE, WINE, WINBREVION and the
# functions run and check. Each install goes into a new folder; the
# program's data folder (its uninstall log) is removed between installs,
# untimed, so that every run is a first installation and not an upgrade,
# which would first take away the previous round's files.

# The Windows form of a Linux path, through Wine's drive Z:.
wine_path() { local p=$1; echo "Z:${p//\//\\}"; }

# wine_pair_prepare: a new prefix with a running server and a virtual
# desktop, and the two installers built by the Windows program. False (and
# a message) when Wine or the Windows program is missing.
wine_pair_prepare() {
  if [ ! -f "$WINBREVION" ] || [ ! -x "$WINE" ]; then
    echo "wine pair left out: no $WINE or no $WINBREVION" >&2
    return 1
  fi
  if [ -z "${DISPLAY:-}" ]; then
    echo "wine pair left out: no display (run the script under xvfb-run)" >&2
    return 1
  fi
  export WINEPREFIX=$WORK/wineprefix WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES='mshtml=;winemenubuilder.exe=d'
  # Wine links the user's Desktop and Documents to $HOME: a home of its
  # own keeps the runs off the real one.
  export HOME=$WORK/winehome
  WINESERVER=${WINESERVER:-$(dirname "$WINE")/wineserver}
  mkdir -p "$HOME"
  "$WINE" wineboot --init > /dev/null 2>&1 < /dev/null || true
  # A virtual desktop: without a window manager Wine waits for each hidden
  # top-level window, which a silent install has too.
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f > /dev/null 2>&1 < /dev/null
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f > /dev/null 2>&1 < /dev/null
  "$WINESERVER" -k 2> /dev/null || true
  "$WINESERVER" -w 2> /dev/null || true
  # One server for all runs, started here with nothing of the timed runs'
  # output: the runs pay neither its start nor its linger.
  "$WINESERVER" -p > /dev/null 2>&1 < /dev/null
  local mode
  for mode in none zlibormal; do
    "$WINE" "$WINBREVION" --silent build "$(wine_path "$WORK/wine-$mode-setup.exe")" "$(wine_path "$PROJECT")" $mode \
      > "$WORK/wine-build.log" 2>&1 < /dev/null ||
      { echo "building the Windows $mode installer failed: $(cat "$WORK/wine-build.log")" >&2; return 1; }
  done
  # Every program of the prefix gone before the first timed run.
  "$WINE" cmd /c exit > /dev/null 2>&1 < /dev/null || true
  export WINE WINESERVER
  trap 'wine_pair_stop; rm -rf "$WORK"' EXIT
}

wine_pair_stop() { [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k 2> /dev/null || true; }

# The data folder of the tree's program in the prefix (all users or the
# user's own), removed between installs.
wine_forget_install() {
  rm -rf "$WINEPREFIX/drive_c/ProgramData/BenchTree" "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/BenchTree
}

# wine_pair_round: one round, the stored and zlib installs and the xcopy.
wine_pair_round() {
  local mode name
  for mode in none zlibormal; do
    name=wine-${mode:0:4}
    wine_forget_install
    run "$name" '"$WINE" "$WORK/wine-'$mode'-setup.exe" /S --no-shortcuts /D="Z:${OUT//\//\\}"'
    check "$OUT"
  done
  run xcopy '"$WINE" xcopy /E /I /Q "Z:${TREE//\//\\}" "Z:${OUT//\//\\}"'
  check "$OUT"
}
