#!/usr/bin/env bash
# End to end under Wine: an installer of the example project is signed with
# osslsigncode and a throw-away self-signed certificate, the signature
# verifies, and the signed installer still installs (ui_driver walks the
# wizard). The installer is built on Linux when the native program is built
# beside BUILD_DIR, else by the Windows program under Wine. Needs a display
# (run it under xvfb-run). Usage: tests/e2e/wine_signed_e2e.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
export WINEPREFIX=$build/e2e-signed-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mshtml= WINEARCH=win64
wine=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

work=$WINEPREFIX/drive_c/e2e
mkdir -p "$work"
x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -o "$work/ui_driver.exe" "$here/tests/e2e/ui_driver.cpp" -lole32 -luuid
driver() { $wine "$work/ui_driver.exe" "$@"; }
fail() { echo "FAIL: $*"; /usr/lib/wine/wineserver -k 2>/dev/null || true; exit 1; }

echo "== build"
# A copy of the example with no executable bits (which a Linux build
# records) and one date; the Windows program under Wine builds it into
# "win\" (the same file name: the installer records it).
cp -r "$here/examples/notes" "$work/project"
find "$work/project" -type f -exec chmod a-x {} +
find "$work/project" -exec touch -h -d '2025-01-01 12:00:00' {} +
mkdir -p "$work/win"
$wine "$build/brevion.exe" --silent build 'C:\e2e\win\notes-setup.exe' 'C:\e2e\project' \
  </dev/null >"$work/win-build.log" 2>&1 || fail "Windows build: $(cat "$work/win-build.log")"
native=$build/../native/brevion
if [ -x "$native" ]; then
  # The Linux builder takes the Windows program beside it (with its date) as
  # the stub, and writes the very same bytes.
  mkdir -p "$work/bin"
  cp -p "$native" "$build/brevion.exe" "$work/bin/"
  "$work/bin/brevion" build "$work/notes-setup.exe" "$work/project" </dev/null >"$work/build.log" 2>&1 ||
    fail "Linux build: $(cat "$work/build.log")"
  cmp "$work/notes-setup.exe" "$work/win/notes-setup.exe" || fail "the Linux and Windows builds differ"
  echo "Linux and Windows builds are byte-identical"
else
  cp "$work/win/notes-setup.exe" "$work/notes-setup.exe"
fi
[ -s "$work/notes-setup.exe" ] || fail "no installer written"
if command -v wrestool >/dev/null; then
  wrestool -x --type=16 -R "$work/notes-setup.exe" | iconv -f UTF-16LE -t UTF-8 | tr -c '[:print:]' ' ' |
    grep -q 'Brevion Notes Setup' || fail "no branded version information"
fi

echo "== sign"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Brevion Test Publisher' \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || fail "making the certificate"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n 'Brevion Notes' \
  -in "$work/notes-setup.exe" -out "$work/notes-signed.exe" >/dev/null || fail "signing"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/notes-signed.exe" >"$work/verify.log" 2>&1 ||
  fail "osslsigncode verify: $(cat "$work/verify.log")"
grep -q 'Signature verification: ok' "$work/verify.log" || fail "no verified signature"
echo "unsigned $(stat -c %s "$work/notes-setup.exe") bytes, signed $(stat -c %s "$work/notes-signed.exe") bytes"

echo "== signed installer's wizard"
$wine 'C:\e2e\notes-signed.exe' &
program=$!
driver wait TDInstallMain click Install click 'I Accept' click Next click Close || fail "driving the wizard"
wait $program || fail "installer exit status $?"
installed="$WINEPREFIX/drive_c/Program Files/Brevion Notes"
for file in notes.cmd notes.ico Readme.txt samples/first.bvnote; do
  cmp "$here/examples/notes/files/install_dir/$file" "$installed/$file" || fail "installed $file differs"
done
# The uninstaller is the installer's program as it was stored, branded and
# without a certificate entry.
uninstaller=$(find "$WINEPREFIX/drive_c" -name 'uninst3.exe' | head -n 1)
[ -n "$uninstaller" ] || fail "no uninstaller copy"
size=$(( $(stat -c %s "$uninstaller") - 8 ))
cmp -n "$size" "$work/notes-setup.exe" "$uninstaller" || fail "the uninstaller differs from the installer's program"

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "PASS"
