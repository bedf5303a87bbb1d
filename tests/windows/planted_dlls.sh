#!/usr/bin/env bash
# A DLL dropped beside a downloaded installer must not be loaded by it. Under
# Wine with native-first overrides every system DLL name the installer could
# load is planted beside it as a copy of a DLL that leaves a marker file when
# loaded; a silent install (window classes, a shortcut, registry entries) must
# leave no marker. The control, an ordinarily linked program in the same
# folder, must leave markers: the probe does see planted DLLs.
# Usage: planted_dlls.sh BREVION_EXE PLANTED_DLL PLAIN_LOADER_EXE
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
brevion=$1 planted=$2 plain=$3
run="$here/scripts/wine-run"
names="advapi32 bcrypt comctl32 comdlg32 cryptbase dwmapi gdi32 imm32 ole32 oleaut32 propsys
       rpcrt4 sechost shcore shell32 shlwapi user32 userenv uxtheme version win32u winmm"
overrides="mshtml="
for name in $names; do overrides="$overrides;$name=n,b"; done

work=$(mktemp -d /tmp/planted-dlls.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
win() { echo "Z:${1//\//\\}"; }

# A small package that makes the installer use what a real one uses.
mkdir -p "$work/project/files/install_dir"
echo "planted DLL probe" > "$work/project/files/install_dir/probe.txt"
cat > "$work/project/files/install.dat" <<'DAT'
#variables
ProgramName=PlantedDllProbe
DisplayName=Planted DLL Probe
Version=1.0
StartMenuFolder=Planted DLL Probe
install_dir=C:\Program Files\Planted DLL Probe\
#shortcuts
d|$install_dir$probe.txt||Planted DLL Probe|
#associations
$install_dir$probe.txt|.plantedprobe|
DAT
mkdir "$work/setup"
"$run" "$brevion" --silent build "$(win "$work/setup/setup.exe")" "$(win "$work/project")" </dev/null >/dev/null 2>&1 \
  || fail "the probe installer could not be built"
for name in $names; do cp "$planted" "$work/setup/$name.dll"; done

rc=0
WINEDLLOVERRIDES=$overrides "$run" "$work/setup/setup.exe" /S "/D=$(win "$work/target")" </dev/null >/dev/null 2>&1 || rc=$?
loaded=$(cd "$work/setup" && ls -- *.loaded 2>/dev/null || true)
[ -z "$loaded" ] || fail "the installer loaded planted DLLs: $(echo $loaded)"
[ "$rc" = 0 ] || fail "the silent install beside planted DLLs ended with $rc"
[ -s "$work/target/probe.txt" ] || fail "the silent install wrote no file"
"$run" 'C:\ProgramData\PlantedDllProbe\uninst3.exe' /S uninstall 'Planted DLL Probe' </dev/null >/dev/null 2>&1 \
  || fail "the probe could not be uninstalled"
echo "installer: none of $(echo $names | wc -w) planted DLLs loaded"

cp "$plain" "$work/setup/plain.exe"
WINEDLLOVERRIDES=$overrides "$run" "$work/setup/plain.exe" </dev/null >/dev/null 2>&1 || true
for name in user32 version; do
  ls "$work/setup" | grep -qix "$name.dll.loaded" || fail "control: the plain program did not load the planted $name.dll"
done
echo "control: the plain program loaded the planted user32.dll and version.dll"
