#!/bin/sh
# The Win32 toolkit calls only the wide (W) forms of the system's calls: no
# object of src/ui/win32 may import a narrow (A) one, which would turn any
# text outside the ANSI code page into question marks.
# Usage: wide_calls.sh NM BUILD_DIR
nm=$1
build=$2
objects=$(find "$build" -path '*/src/ui/win32/*.obj' | sort)
[ -n "$objects" ] || { echo "no objects of src/ui/win32 below $build" >&2; exit 1; }
status=0
for object in $objects; do
  narrow=$("$nm" -u "$object" | sed -n 's/.*__imp_\([A-Za-z0-9_]*[a-z0-9]A\)$/\1/p' | sort -u)
  if [ -n "$narrow" ]; then
    echo "$(basename "$object") imports narrow calls:" $narrow >&2
    status=1
  fi
done
[ $status = 0 ] && echo "$(echo "$objects" | wc -l) objects, wide calls only"
exit $status
