#!/usr/bin/env bash
# startup.sh [BUILD_DIR] [RUNS]
# Start-up time of the Windows program under Wine: from launching a built
# installer to its wizard window (TDInstallMain) being shown, next to the
# same figure for the smallest Win32 program with a window, started the same
# way. Also times `brevion --version` of the native Linux build when there
# is one (build/native or build/bench).
#
# The UI driver is started first and waits for the window; the clock starts
# when the program is launched and stops when the driver has seen the
# window and ended. The driver looks every 100 ms, so each figure carries up
# to 0.1 s of polling, the same for both programs: compare the two columns.
# Needs a display: xvfb-run -a -s "-screen 0 1024x768x24" bench/startup.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
runs=${2:-5}
export WINEPREFIX=$build/bench-startup-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mshtml= WINEARCH=win64
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
$server -p
$wine wineboot --init >/dev/null 2>&1 </dev/null
# A virtual desktop, as in the end-to-end tests: without a window manager
# Wine waits seconds for each hidden top-level window.
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 </dev/null
trap '$server -k 2>/dev/null || true' EXIT

work=$WINEPREFIX/drive_c/bench
mkdir -p "$work"
x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -o "$work/ui_driver.exe" "$here/tests/e2e/ui_driver.cpp"
x86_64-w64-mingw32-g++ -std=c++20 -Os -s -static -mwindows -o "$work/trivial.exe" "$here/bench/startup/trivial_window.cpp"
driver() { $wine "$work/ui_driver.exe" "$@"; }
now() { date +%s.%N; }

# An installer of the example project, written by the program's build mode.
$wine "$build/brevion.exe" build 'C:\bench\notes-setup.exe' "Z:${here//\//\\}\\examples\\notes" &
builder=$!
# Under load a click on OK can land before the build has ended and go
# unanswered: click again until the program has closed.
while kill -0 $builder 2>/dev/null; do
  driver wait TDInstallMain click OK >/dev/null 2>&1 || true
  sleep 2
done
wait $builder

# One start: seconds from launch to the window WINDOW being visible.
time_to_window() {
  local window=$1 program=$2
  driver wait "$window" >/dev/null &
  local watcher=$!
  sleep 2  # the driver is up and polling before the clock starts
  local start
  start=$(now)
  $wine "$program" >/dev/null 2>&1 &
  local launched=$!
  wait $watcher
  local end
  end=$(now)
  kill $launched 2>/dev/null || true
  wait $launched 2>/dev/null || true
  # The next start must not find this one's window still on the screen.
  driver gone "$window" >/dev/null 2>&1 || true
  echo "$end - $start" | bc
}

median() { sort -n | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.3f", m}'; }

installer_times=() trivial_times=()
for ((i = 0; i < runs; i++)); do
  installer_times+=("$(time_to_window TDInstallMain 'C:\bench\notes-setup.exe')")
  trivial_times+=("$(time_to_window BenchTrivialWindow 'C:\bench\trivial.exe')")
done
printf 'brevion.exe: %s bytes\n' "$(stat -c %s "$build/brevion.exe")"
printf '%-40s %s\n' "launch to first window (s, median of $runs)" "runs"
printf '%-40s %s\n' "  installer: $(printf '%s\n' "${installer_times[@]}" | median)" "${installer_times[*]}"
printf '%-40s %s\n' "  trivial Win32 program: $(printf '%s\n' "${trivial_times[@]}" | median)" "${trivial_times[*]}"

for native in "$here/build/bench/brevion" "$here/build/native/brevion"; do
  [ -x "$native" ] || continue
  start=$(now)
  for ((i = 0; i < 100; i++)); do "$native" --version >/dev/null; done
  end=$(now)
  printf 'native %s --version: %.2f ms per run (100 runs)\n' "${native#$here/}" "$(echo "($end - $start) * 10" | bc -l)"
  break
done
