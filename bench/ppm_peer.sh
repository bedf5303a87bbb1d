#!/usr/bin/env bash
# ppm_peer.sh BENCH_BINARY FILE [max-megabytes]
# Runs the project's PPM codec (bench_ppm_bench) and the peer's PPMd (7-Zip,
# one thread, whole file) on the same bytes and prints ratio and CPU MB/s
# side by side. The peer codes its own variant, so ratios differ a little;
# speed at a comparable order is what this compares.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BENCH_BINARY FILE [max-megabytes]" >&2; exit 2; }
BENCH=$1; FILE=$2; LIMIT=${3:-}
SEVENZIP=$(command -v 7zz || command -v 7z) || { echo "7-Zip (7zz or 7z) not found" >&2; exit 2; }
WORK=$(mktemp -d /dev/shm/ppm-peer.XXXXXX); trap 'rm -rf "$WORK"' EXIT
if [ -n "$LIMIT" ]; then
  head -c "$(awk -v m="$LIMIT" 'BEGIN{printf "%d", m*1000000}')" "$FILE" > "$WORK/input"
  FILE=$WORK/input
fi
SIZE=$(stat -c %s "$FILE")

cpu_seconds() {  # user+sys seconds of a command, output discarded
  /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 + $2}'
}

echo "== project (blocks as the container codes them)"
"$BENCH" "$FILE"

echo "== peer: $($SEVENZIP | head -2 | tail -1 | cut -c1-40)"
printf "%-18s %8s %12s %12s\n" setting out/in% "enc CPU" "dec CPU"
for setting in "2 16" "5 16" "6 16" "13 64" "16 64"; do
  set -- $setting
  rm -f "$WORK/a.7z"
  enc=$(cpu_seconds "$SEVENZIP" a -bd -t7z -m0=PPMd:o=$1:mem=$2m -mmt=1 "$WORK/a.7z" "$FILE")
  dec=$(cpu_seconds "$SEVENZIP" e -so "$WORK/a.7z")
  packed=$(stat -c %s "$WORK/a.7z")
  awk -v o="$1" -v m="$2" -v s="$SIZE" -v p="$packed" -v e="$enc" -v d="$dec" 'BEGIN{
    printf "o%-2d mem=%-3dm       %8.2f %12.2f %12.2f\n", o, m, 100*p/s, s/1e6/e, s/1e6/d }'
done
