#!/usr/bin/env bash
# run-bench.sh CORPUS_DIR [BENCH_BINARY]
# Archives a corpus folder with every compression mode of the project (one
# worker and all cores) and with the peers (7-Zip PPMd and LZMA2; tar with
# xz, zstd and gzip), then prints size ratio, speed and peak memory of each,
# the project's sizes and CPU times relative to each peer, the speed-up of
# all cores over one with a check that both wrote the same bytes, and two
# I/O rows: the checksum pass of a 200 MB archive against `cat`, and the
# extraction of a "none" archive against `tar -xf` of the same tree.
#
#   CORPUS_DIR    holds tree/ (built with /work/shared/bench/make-corpus.sh
#                 when missing)
#   BENCH_BINARY  bench_archive_modes_bench (default: the one under
#                 build/*/bench/, newest first)
#   SUBSET        environment: folders below tree/ to archive, "all" for the
#                 whole tree (default), e.g. "usr/include" for a quick run
#   MODES         environment: the project's mode names to run (default: one
#                 name per level code; "lowest" is "zlibfastest", "low" is
#                 "bzipnormal", "ppmnormal" is "normal", "high" and
#                 "ppmmax" are "max")
#   PEERS         environment: "no" leaves the peers out
#   IO            environment: "no" leaves the two I/O rows out
#   QUIET_WAIT    environment: seconds to wait, before each measurement, for
#                 a second in which other processes use under 10% of a core
#                 (default 20)
#   RETRIES       environment: further tries of a measurement during which
#                 other processes used more than 15% of a core; the quietest
#                 try is kept (default 2)
#   ROUNDS        environment: rounds of the project's runs, one worker and
#                 all cores taking turns; the fastest of each is kept
#                 (default 1)
# The program next to the bench binary (BUILD/brevion), when built, is also
# timed through its own archive and extract modes ("normal").
#
# Speeds are given per CPU second (user + sys) as well as per wall second:
# on a shared, loaded machine the CPU figures are the ones to compare for
# one thread; the speed-up of several threads is a wall-time figure, so each
# row also gives the load of other processes during it (in cores).
set -euo pipefail
export LC_ALL=C
[ $# -ge 1 ] || { echo "usage: $0 CORPUS_DIR [BENCH_BINARY]" >&2; exit 2; }
CORPUS=$1
HERE=$(cd "$(dirname "$0")" && pwd)
BENCH=${2:-$(ls -t "$HERE"/../build/*/bench/bench_archive_modes_bench 2>/dev/null | head -1 || true)}
[ -x "$BENCH" ] || { echo "bench_archive_modes_bench not found; configure with -DBREVION_BENCH=ON and build it" >&2; exit 2; }
SUBSET=${SUBSET:-all}
MODES=${MODES:-"none zlibfastest zlibormal zlibmax bzipfastest bzipnormal bzipmax ppmfastest normal max"}
QUIET_WAIT=${QUIET_WAIT:-20}
RETRIES=${RETRIES:-2}
ROUNDS=${ROUNDS:-1}
CORES=$(nproc)
HZ=$(getconf CLK_TCK)
SEVENZIP=$(command -v 7zz || command -v 7z || true)

if [ ! -d "$CORPUS/tree" ]; then
  echo "building the corpus in $CORPUS" >&2
  /work/shared/bench/make-corpus.sh "$CORPUS" >&2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/brevion-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/src
mkdir -p "$SRC" "$WORK/trash"
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
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)

# Busy clock ticks of the whole machine (user, nice, system, irq, softirq).
busy_ticks() { awk '/^cpu / {print $2 + $3 + $4 + $7 + $8}' /proc/stat; }

# Waits (at most QUIET_WAIT seconds) for a second in which the machine is
# busy for less than a tenth of a core.
wait_quiet() {
  local deadline=$((SECONDS + QUIET_WAIT)) a b
  while ((SECONDS < deadline)); do
    a=$(busy_ticks); sleep 1; b=$(busy_ticks)
    (((b - a) * 10 < HZ)) && return 0
  done
  return 0
}

# Output folders are moved aside, never deleted between runs: creating files
# on ext4 right after deleting thousands is several times slower.
TRASH=0
fresh_output() {
  [ -d "$WORK/out" ] && mv "$WORK/out" "$WORK/trash/$((TRASH++))"
  mkdir -p "$WORK/out"
}

# measure NAME PREPARE COMMAND...: runs PREPARE (untimed), then the command
# under /usr/bin/time, and leaves "wall cpu peak-KB foreign-cores" in
# $WORK/NAME.time; foreign cores are the CPU that other processes used
# during the run, per wall second. A run that saw more than 0.15 foreign
# cores is repeated (RETRIES times at most) and the quietest kept. A failing
# command stops the run.
measure() {
  local name=$1 prepare=$2; shift 2
  local try best="" bestForeign="" before after line foreign
  for ((try = 0; try <= RETRIES; ++try)); do
    "$prepare"
    wait_quiet
    before=$(busy_ticks)
    /usr/bin/time -f "%e %U %S %M" -o "$WORK/$name.raw" "$@" >/dev/null 2>"$WORK/$name.err" ||
      { echo "failed: $*" >&2; cat "$WORK/$name.err" >&2; exit 1; }
    after=$(busy_ticks)
    line=$(awk -v ticks=$((after - before)) -v hz="$HZ" '{
      own = $2 + $3; wall = $1 > 0 ? $1 : 0.01; f = (ticks / hz - own) / wall; if (f < 0) f = 0
      printf "%s %.2f %s %.2f\n", $1, own, $4, f }' "$WORK/$name.raw")
    foreign=${line##* }
    if [ -z "$best" ] || awk -v a="$foreign" -v b="$bestForeign" 'BEGIN {exit !(a < b)}'; then
      best=$line; bestForeign=$foreign
    fi
    awk -v a="$foreign" 'BEGIN {exit !(a <= 0.15)}' && break
  done
  echo "$best" > "$WORK/$name.time"
}

RESULTS=$WORK/results
SPEEDUPS=$WORK/speedups
: > "$RESULTS"
: > "$SPEEDUPS"
# record LABEL THREADS ARCHIVE_FILE: appends one row from the two measurements.
record() {
  local label=$1 threads=$2 packed
  packed=$(stat -c %s "$3")
  read -r pw pc pm pf < "$WORK/pack.time"
  read -r uw uc um uf < "$WORK/unpack.time"
  echo "$label $threads $packed $pw $pc $pm $pf $uw $uc $um $uf" >> "$RESULTS"
}

# The extracted tree must equal the source.
check_output() {
  diff -r -q "$SRC" "$WORK/out" > /dev/null || { echo "extracted files differ from the source ($1)" >&2; exit 1; }
}

nothing() { :; }

# keep_fastest NAME: moves the measurement just taken ($WORK/NAME.time) to
# $WORK/NAME.best unless an earlier round's was faster (wall time).
keep_fastest() {
  local taken=$WORK/$1.time best=$WORK/$1.best
  if [ ! -f "$best" ] || awk -v a="$(cut -d' ' -f1 "$taken")" -v b="$(cut -d' ' -f1 "$best")" \
      'BEGIN {exit !(a < b)}'; then
    mv "$taken" "$best"
  fi
}

for mode in $MODES; do
  rm -f "$WORK"/*.best
  # With several rounds, the one-worker and all-core runs alternate, so that
  # a drift in the machine's speed reaches both sides of the speed-up.
  for ((round = 1; round <= ROUNDS; ++round)); do
    for threads in 1 "$CORES"; do
      echo "project $mode, $threads thread(s), round $round of $ROUNDS" >&2
      ARCHIVE=$WORK/a.$mode.$threads.bvarc
      remove_archive() { rm -f "$ARCHIVE"; }
      BREVION_THREADS=$threads measure "pack.$threads" remove_archive "$BENCH" create "$mode" "$SRC" "$ARCHIVE"
      keep_fastest "pack.$threads"
      BREVION_THREADS=$threads measure "unpack.$threads" fresh_output "$BENCH" extract "$ARCHIVE" "$WORK/out"
      keep_fastest "unpack.$threads"
      check_output "$mode"
    done
  done
  for threads in 1 "$CORES"; do
    cp "$WORK/pack.$threads.best" "$WORK/pack.time"
    cp "$WORK/unpack.$threads.best" "$WORK/unpack.time"
    record "brevion:$mode" "$threads" "$WORK/a.$mode.$threads.bvarc"
  done
  one=$(tail -2 "$RESULTS" | head -1); all=$(tail -1 "$RESULTS")
  same=no; cmp -s "$WORK/a.$mode.1.bvarc" "$WORK/a.$mode.$CORES.bvarc" && same=yes
  echo "$mode $one | $all | $same" >> "$SPEEDUPS"
  # Keep the "none" archive for the extraction row; drop the others.
  [ "$mode" = none ] || rm -f "$WORK/a.$mode.1.bvarc" "$WORK/a.$mode.$CORES.bvarc"
done

# The program itself (always "normal"): the archive name and the extraction
# folder are answered on standard input by the console toolkit.
PROGRAM=$(dirname "$BENCH")/../brevion
if [ -x "$PROGRAM" ]; then
  for threads in 1 "$CORES"; do
    echo "program archive/extract, $threads thread(s)" >&2
    fresh_cli() { rm -rf "$WORK/cli"; mkdir -p "$WORK/cli"; }
    BREVION_THREADS=$threads measure pack fresh_cli bash -c "echo a | '$PROGRAM' archive '$WORK/cli' '$SRC'"
    BREVION_THREADS=$threads measure unpack fresh_output bash -c "echo '$WORK/out' | '$PROGRAM' '$WORK/cli/a.bvarc'"
    check_output "program"
    record "brevion-program:normal" "$threads" "$WORK/cli/a.bvarc"
  done
fi

[ "${PEERS:-yes}" = no ] && SEVENZIP=
if [ -n "$SEVENZIP" ]; then
  for setting in "PPMd:o=5:mem=25m 1" "LZMA2 1" "LZMA2 $CORES"; do
    set -- $setting
    echo "7-Zip $1, $2 thread(s)" >&2
    remove_7z() { rm -f "$WORK/a.7z"; }
    if [ "$1" = LZMA2 ]; then method=(-m0=LZMA2 -mx=5); else method=(-m0="$1"); fi
    measure pack remove_7z "$SEVENZIP" a -bd -t7z "${method[@]}" -mmt="$2" "$WORK/a.7z" "$SRC/."
    measure unpack fresh_output "$SEVENZIP" x -bd -y -mmt="$2" -o"$WORK/out" "$WORK/a.7z"
    check_output "7z $1"
    record "7z:${1%%:*}" "$2" "$WORK/a.7z"
  done
fi

for setting in "xz -6 1" "xz -6 $CORES" "zstd -19 1" "zstd -19 $CORES" "zstd -3 1" "gzip -6 1"; do
  set -- $setting
  [ "${PEERS:-yes}" != no ] && command -v "$1" > /dev/null || continue
  echo "tar + $1 $2, $3 thread(s)" >&2
  case $1 in
    xz) pack="xz $2 -T$3 -c"; unpack="xz -d -T$3 -c" ;;
    zstd) pack="zstd -q $2 -T$3 -c"; unpack="zstd -q -d -c" ;;
    gzip) pack="gzip $2 -c"; unpack="gzip -d -c" ;;
  esac
  measure pack nothing bash -c "tar -C '$SRC' -cf - . | $pack > '$WORK/a.tar.x'"
  measure unpack fresh_output bash -c "$unpack '$WORK/a.tar.x' | tar -C '$WORK/out' -xf -"
  check_output "tar $1"
  record "tar+$1:$2" "$3" "$WORK/a.tar.x"
done

# best_of RUNS COMMAND...: the shortest wall time of the command in seconds
# (page cache warm after the first run; output to /dev/null).
best_of() {
  local runs=$1 best="" start end i; shift
  for ((i = 0; i < runs; ++i)); do
    wait_quiet
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s%N)
    if [ -z "$best" ] || ((end - start < best)); then best=$((end - start)); fi
  done
  awk -v ns="$best" 'BEGIN {printf "%.4f\n", ns / 1e9}'
}

IO_ROWS=$WORK/io
: > "$IO_ROWS"
if [ "${IO:-yes}" != no ]; then
  echo "checksum pass of a 200 MB archive against cat" >&2
  # 200,000,000 bytes of files: the tree, its tar, and the start of the tar.
  BIG=$WORK/big
  mkdir -p "$BIG"
  cp -a "$SRC" "$BIG/tree"
  tar -C "$SRC" -cf "$BIG/tree.tar" .
  have=$(find "$BIG" -type f -printf "%s\n" | awk '{s += $1} END {print s}')
  ((have < 200000000)) && head -c $((200000000 - have)) "$BIG/tree.tar" > "$BIG/extra.bin"
  "$BENCH" create none "$BIG" "$WORK/big.bvarc"
  rm -rf "$BIG"
  cat "$WORK/big.bvarc" > /dev/null
  ours=$(best_of 7 "$BENCH" verify "$WORK/big.bvarc")
  peer=$(best_of 7 cat "$WORK/big.bvarc")
  echo "checksum $(stat -c %s "$WORK/big.bvarc") $ours $peer" >> "$IO_ROWS"
  rm -f "$WORK/big.bvarc"

  echo "extraction of the \"none\" archive against tar -xf" >&2
  tar -C "$SRC" -cf "$WORK/src.tar" .
  # A new folder for every run (see fresh_output), named by the caller's
  # prefix: best_of runs in a subshell, so the counter starts again in each.
  RUN=0
  extract_ours() {
    mkdir "$WORK/trash/$1.$RUN" && "$BENCH" extract "$WORK/a.none.1.bvarc" "$WORK/trash/$1.$((RUN++))"
  }
  extract_tar() { mkdir "$WORK/trash/$1.$RUN" && tar -xf "$WORK/src.tar" -C "$WORK/trash/$1.$((RUN++))"; }
  if [ -f "$WORK/a.none.1.bvarc" ]; then
    oursAll=$(BREVION_THREADS=$CORES best_of 5 extract_ours all)
    oursOne=$(BREVION_THREADS=1 best_of 5 extract_ours one)
    peer=$(best_of 5 extract_tar tar)
    echo "extract $INPUT_BYTES $oursAll $oursOne $peer" >> "$IO_ROWS"
  fi
fi

MB=$(awk -v b="$INPUT_BYTES" 'BEGIN {printf "%.1f", b / 1e6}')
echo
echo "Input: $INPUT_FILES files, $MB MB ($SUBSET); $CORES cores; $(date -u +%Y-%m-%dT%H:%MZ)"
echo "Load average at the start: $LOAD_START; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "MB/s cpu = input MB per CPU second (user + sys); wall figures suffer from the machine's load;"
echo "load = CPU of other processes during the run, in cores (the quietest of up to $((RETRIES + 1)) tries)."
awk -v in_bytes="$INPUT_BYTES" '
  BEGIN {
    mb = in_bytes / 1e6
    printf "%-24s %3s %7s | %7s %8s %8s %6s %4s | %7s %8s %8s %6s %4s\n", "tool:setting", "thr", "out/in%",
           "packCPU", "MB/s cpu", "MB/s wal", "peakMB", "load", "unpkCPU", "MB/s cpu", "MB/s wal", "peakMB", "load"
  }
  {
    printf "%-24s %3d %7.2f | %7.2f %8.1f %8.1f %6.0f %4.2f | %7.2f %8.1f %8.1f %6.0f %4.2f\n", $1, $2,
           100 * $3 / in_bytes, $5, mb / ($5 > 0 ? $5 : 0.01), mb / ($4 > 0 ? $4 : 0.01), $6 / 1024, $7,
           $9, mb / ($9 > 0 ? $9 : 0.01), mb / ($8 > 0 ? $8 : 0.01), $10 / 1024, $11
  }' "$RESULTS"

echo
echo "Speed-up of $CORES threads over 1 (wall time), and whether both wrote the same archive bytes"
printf "%-14s %8s %8s %8s %5s | %8s %8s %8s %5s | %s\n" "mode" "pack 1" "pack $CORES" "speedup" "load" \
       "unpack 1" "unpack $CORES" "speedup" "load" "same bytes"
# Each line: mode, the 1-thread row, "|", the all-cores row, "|", same.
awk '{
  # fields: 1 mode, 2..12 row one, 13 "|", 14..24 row all, 25 "|", 26 same
  printf "%-14s %8.2f %8.2f %8.2f %5.2f | %8.2f %8.2f %8.2f %5.2f | %s\n", $1, $5, $17,
         $5 / ($17 > 0 ? $17 : 0.01), $20, $9, $21, $9 / ($21 > 0 ? $21 : 0.01), $24, $26
}' "$SPEEDUPS"

if [ -s "$IO_ROWS" ]; then
  echo
  echo "I/O rows (best wall time of several runs, page cache warm)"
  awk '
    $1 == "checksum" {
      printf "checksum pass of a %.0f MB \"none\" archive: %.4f s (%.0f MB/s); cat FILE > /dev/null: %.4f s (%.0f MB/s); ours/cat speed %.2f\n",
             $2 / 1e6, $3, $2 / 1e6 / $3, $4, $2 / 1e6 / $4, $4 / $3
    }
    $1 == "extract" {
      printf "extraction of the \"none\" archive (%.1f MB, checksum pass included): %.4f s with all cores, %.4f s with 1; tar -xf: %.4f s; ours/tar speed %.2f (all cores), %.2f (1)\n",
             $2 / 1e6, $3, $4, $5, $5 / $3, $5 / $4
    }' "$IO_ROWS"
fi

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
               a[9] / (p[9] > 0 ? p[9] : 0.01)
      }
    }
  }' "$RESULTS" | sort -k1,1 -s
