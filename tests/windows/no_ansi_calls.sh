#!/usr/bin/env bash
# Fails when an object file built from the checked sources calls the ANSI
# ("A") form of a Windows function or asks for an ANSI COM interface: text
# inside the program is UTF-8 and only the UTF-16 ("W") forms carry it
# unchanged. Generic names (CreateFile without a letter) resolve to the A
# form in this build, so the imports, not the sources, are what is read.
# Usage: no_ansi_calls.sh NM SOURCE_REGEX OBJECT...
#   SOURCE_REGEX selects the objects by the path of their source, for
#   example '/src/(system/win32|app|ui/win32)/|/src/main\.cpp\.obj$'.
set -euo pipefail
nm=$1 sources=$2
shift 2
checked=0 found=0
for object in "$@"; do
  [[ $object =~ $sources ]] || continue
  checked=$((checked + 1))
  # An undefined __imp_NameA (a DLL import) or IID_NameA (an interface).
  while read -r symbol; do
    echo "$object: ${symbol#__imp_}" >&2
    found=$((found + 1))
  done < <("$nm" -u "$object" | awk '{print $NF}' | grep -E '^(__imp_[A-Za-z0-9]+[a-z0-9]A|IID_[A-Za-z0-9]+A)$' || true)
done
if [ "$checked" -eq 0 ]; then
  echo "no object file matched $sources" >&2
  exit 1
fi
if [ "$found" -gt 0 ]; then
  echo "$found ANSI call(s) in $checked object files" >&2
  exit 1
fi
echo "no ANSI calls in $checked object files"
