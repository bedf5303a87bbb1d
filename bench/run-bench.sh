#!/usr/bin/env bash
# run-bench.sh CORPUS_DIR [BENCH_BINARY]
# Archives a corpus folder with every compression mode of the project (one
# worker and all cores) and with the peers (7-Zip PPMd and LZMA2; tar with
# xz, zstd and gzip), then prints size ratio, speed and peak memory of each,
# and the project's sizes and CPU times relative to each peer.
#
#   CORPUS_DIR    holds tree/ (built with /work/shared/bench/make-corpus.sh
#                 when missing)
#   BENCH_BINARY  bench_archive_modes_bench (default: the one under
#                 build/*/bench/, newest first)
#   SUBSET        environment: folders below tree/ to archive, "all" for the
#                 whole tree (default: usr/lib/x86_64-linux-gnu usr/include,
#                 about 47 MB, which keeps a run near 10 minutes on 2 cores)
#   MODES         environment: the project's mode names to run
#   PEERS         environment: "no" leaves the peers out
# The program next to the bench binary (BUILD/brevion), when built, is also
# timed through its own archive and extract modes ("normal").
#
# Speeds are given per CPU second (user + sys) as well as per wall second:
# on a shared, loaded machine the CPU figures are the ones to compare.
set -euo pipefail
export LC_ALL=C
[ $# -ge 1 ] || { echo "usage: $0 CORPUS_DIR [BENCH_BINARY]" >&2; exit 2; }
CORPUS=$1
HERE=$(cd "$(dirname "$0")" && pwd)
BENCH=${2:-$(ls -t "$HERE"/../build/*/bench/bench_archive_modes_bench 2>/dev/null | head -1 || true)}
[ -x "$BENCH" ] || { echo "bench_archive_modes_bench not found; configure with -DBREVION_BENCH=ON and build it" >&2; exit 2; }
SUBSET=${SUBSET:-"usr/lib/x86_64-linux-gnu usr/include"}
MODES=${MODES:-"none zlibfastest zlibmax bzipnormal ppmfastest normal max"}
CORES=$(nproc)
SEVENZIP=$(command -v 7zz || command -v 7z || true)

if [ ! -d "$CORPUS/tree" ]; then
  echo "building the corpus in $CORPUS" >&2
  /work/shared/bench/make-corpus.sh "$CORPUS" >&2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/brevion-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/src
mkdir -p "$SRC"
if [ "$SUBSET" = all ]; then
  cp -a "$CORPUS/tree/." "$SRC/"
else
  for folder in $SUBSET; do
    mkdir -p "$SRC/$(dirname "$folder")"
    cp -a "$CORPUS/tree/$folder" "$SRC/$folder"
  done
fi
INPUT_BYTES=$(find "$SRC" -type f -printf "%s\n" | awk '{s += $1} END {print s}')
INPUT_FILES=$(find "$SRC" -type f | wc -l)

# measure NAME COMMAND...: runs the command under /usr/bin/time and leaves
# "wall cpu peak-KB" in $WORK/NAME.time; a failing command stops the run.
measure() {
  local name=$1; shift
  /usr/bin/time -f "%e %U %S %M" -o "$WORK/$name.raw" "$@" >/dev/null 2>"$WORK/$name.err" ||
    { echo "failed: $*" >&2; cat "$WORK/$name.err" >&2; exit 1; }
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$WORK/$name.raw" > "$WORK/$name.time"
}

RESULTS=$WORK/results
: > "$RESULTS"
# record LABEL THREADS ARCHIVE_FILE: appends one row from the two measurements.
record() {
  local label=$1 threads=$2 packed
  packed=$(stat -c %s "$3")
  read -r pw pc pm < "$WORK/pack.time"
  read -r uw uc um < "$WORK/unpack.time"
  echo "$label $threads $packed $pw $pc $pm $uw $uc $um" >> "$RESULTS"
}

fresh_output() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; }

# The extracted tree must equal the source.
check_output() {
  diff -r -q "$SRC" "$WORK/out" > /dev/null || { echo "extracted files differ from the source ($1)" >&2; exit 1; }
}

for mode in $MODES; do
  for threads in 1 "$CORES"; do
    echo "project $mode, $threads thread(s)" >&2
    rm -f "$WORK/a.bvarc"; fresh_output
    BREVION_THREADS=$threads measure pack "$BENCH" create "$mode" "$SRC" "$WORK/a.bvarc"
    BREVION_THREADS=$threads measure unpack "$BENCH" extract "$WORK/a.bvarc" "$WORK/out"
    check_output "$mode"
    record "brevion:$mode" "$threads" "$WORK/a.bvarc"
  done
done

# The program itself (always "normal"): the archive name and the extraction
# folder are answered on standard input by the console toolkit.
PROGRAM=$(dirname "$BENCH")/../brevion
if [ -x "$PROGRAM" ]; then
  for threads in 1 "$CORES"; do
    echo "program archive/extract, $threads thread(s)" >&2
    rm -rf "$WORK/cli"; mkdir -p "$WORK/cli"; fresh_output
    BREVION_THREADS=$threads measure pack bash -c "echo a | '$PROGRAM' archive '$WORK/cli' '$SRC'"
    BREVION_THREADS=$threads measure unpack bash -c "echo '$WORK/out' | '$PROGRAM' '$WORK/cli/a.bvarc'"
    check_output "program"
    record "brevion-program:normal" "$threads" "$WORK/cli/a.bvarc"
  done
fi

[ "${PEERS:-yes}" = no ] && SEVENZIP=
if [ -n "$SEVENZIP" ]; then
  for setting in "PPMd:o=5:mem=25m 1" "LZMA2 1" "LZMA2 $CORES"; do
    set -- $setting
    echo "7-Zip $1, $2 thread(s)" >&2
    rm -f "$WORK/a.7z"; fresh_output
    if [ "$1" = LZMA2 ]; then method=(-m0=LZMA2 -mx=5); else method=(-m0="$1"); fi
    measure pack "$SEVENZIP" a -bd -t7z "${method[@]}" -mmt="$2" "$WORK/a.7z" "$SRC/."
    measure unpack "$SEVENZIP" x -bd -y -mmt="$2" -o"$WORK/out" "$WORK/a.7z"
    check_output "7z $1"
    record "7z:${1%%:*}" "$2" "$WORK/a.7z"
  done
fi

for setting in "xz -6 1" "xz -6 $CORES" "zstd -19 1" "zstd -19 $CORES" "zstd -3 1" "gzip -6 1"; do
  set -- $setting
  [ "${PEERS:-yes}" != no ] && command -v "$1" > /dev/null || continue
  echo "tar + $1 $2, $3 thread(s)" >&2
  rm -f "$WORK/a.tar.x"; fresh_output
  case $1 in
    xz) pack="xz $2 -T$3 -c"; unpack="xz -d -T$3 -c" ;;
    zstd) pack="zstd -q $2 -T$3 -c"; unpack="zstd -q -d -c" ;;
    gzip) pack="gzip $2 -c"; unpack="gzip -d -c" ;;
  esac
  measure pack bash -c "tar -C '$SRC' -cf - . | $pack > '$WORK/a.tar.x'"
  measure unpack bash -c "$unpack '$WORK/a.tar.x' | tar -C '$WORK/out' -xf -"
  check_output "tar $1"
  record "tar+$1:$2" "$3" "$WORK/a.tar.x"
done

MB=$(awk -v b="$INPUT_BYTES" 'BEGIN {printf "%.1f", b / 1e6}')
echo
echo "Input: $INPUT_FILES files, $MB MB ($SUBSET); $CORES cores; $(date -u +%Y-%m-%dT%H:%MZ)"
echo "MB/s cpu = input MB per CPU second (user + sys); wall figures suffer from the machine's load."
awk -v in_bytes="$INPUT_BYTES" '
  BEGIN {
    mb = in_bytes / 1e6
    printf "%-22s %3s %8s | %7s %8s %8s %7s | %7s %8s %8s %7s\n", "tool:setting", "thr", "out/in%",
           "packCPU", "MB/s cpu", "MB/s wal", "peakMB", "unpkCPU", "MB/s cpu", "MB/s wal", "peakMB"
  }
  {
    printf "%-22s %3d %8.2f | %7.2f %8.1f %8.1f %7.0f | %7.2f %8.1f %8.1f %7.0f\n", $1, $2, 100 * $3 / in_bytes,
           $5, mb / ($5 > 0 ? $5 : 0.01), mb / ($4 > 0 ? $4 : 0.01), $6 / 1024,
           $8, mb / ($8 > 0 ? $8 : 0.01), mb / ($7 > 0 ? $7 : 0.01), $9 / 1024
  }' "$RESULTS"

echo
echo "Project relative to each peer (1-thread rows; size and CPU seconds, ours / peer: below 1 means ours is smaller or cheaper)"
printf "%-20s %-20s %9s %9s %9s\n" "ours" "peer" "size" "packCPU" "unpkCPU"
awk '
  $2 == 1 && $1 ~ /^brevion:(normal|max|zlibmax|bzipnormal)$/ { ours[$1] = $0 }
  $2 == 1 && $1 !~ /^brevion/ { peers[++n] = $0 }
  END {
    for (o in ours) {
      split(ours[o], a, " ")
      for (i = 1; i <= n; ++i) {
        split(peers[i], p, " ")
        printf "%-20s %-20s %9.3f %9.2f %9.2f\n", a[1], p[1], a[3] / p[3], a[5] / (p[5] > 0 ? p[5] : 0.01),
               a[8] / (p[8] > 0 ? p[8] : 0.01)
      }
    }
  }' "$RESULTS" | sort -k1,1 -s
