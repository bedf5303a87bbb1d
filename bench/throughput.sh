#!/usr/bin/env bash
# throughput.sh CORPUS_DIR [BREVION] [WINDOWS_BREVION]
# Installing and extracting a tree, side by side with the plain tools, in
# one run: each pair below runs in turn, ROUNDS times (interleaved, so a
# burst of load on the shared machine reaches both sides), each run into a
# new folder. Prints per pair the minimum and median wall and CPU (user +
# sys of the process tree) seconds of both sides, the ratios peer / ours
# (above 1: ours is faster) and the load of other processes during the pair.
#
#   none-install   a stored installer, installed silently   | cp -r of the tree
#   none-install   (same runs)                               | tar -xf of a tar of the tree
#   zlib-install   a "zlibormal" installer, installed        | pigz -d | tar -x of the tree's tar.gz
#   ppm-install    a "normal" installer, installed           | 7zz x of the tree as PPMd order 5, 1 thread
#   wine-install   the Windows stored and zlib installers,   | xcopy /E /I of the tree under Wine,
#                  installed under Wine                      | in the same prefix
#                  (the Windows program needs a display: run the script
#                  under xvfb-run for this pair; bench/lib/wine_pair.sh)
#
#   CORPUS_DIR       holds tree/ (built with /work/shared/bench/make-corpus.sh
#                    when missing)
#   BREVION          the Linux program (default build/native/brevion)
#   WINDOWS_BREVION  the Windows program (default build/windows/brevion.exe;
#                    the Wine pair is left out when it or wine is missing)
#   ROUNDS           environment: rounds per pair (default 5)
#   WINE             environment: the wine program (default /usr/lib/wine/wine64)
#   PAIRS            environment: pairs to run (default "none zlib ppm wine")
#   SUBSET           environment: a folder below tree/ to use instead of all
# Output goes below TMPDIR (default /tmp): ext4 creates files several times
# slower right after thousands were deleted, so every run writes a new
# folder and all are deleted at the end.
set -euo pipefail
export LC_ALL=C
[ $# -ge 1 ] || { echo "usage: $0 CORPUS_DIR [BREVION] [WINDOWS_BREVION]" >&2; exit 2; }
CORPUS=$(cd "$1" 2>/dev/null && pwd || echo "$1")
HERE=$(cd "$(dirname "$0")" && pwd)
BREVION=$(readlink -f "${2:-$HERE/../build/native/brevion}")
WINBREVION=$(readlink -f "${3:-$HERE/../build/windows/brevion.exe}" 2>/dev/null || true)
ROUNDS=${ROUNDS:-5}
WINE=${WINE:-/usr/lib/wine/wine64}
PAIRS=${PAIRS:-"none zlib ppm wine"}
HZ=$(getconf CLK_TCK)
[ -x "$BREVION" ] || { echo "$BREVION not found: build the native preset" >&2; exit 2; }
for tool in pigz 7zz tar; do
  command -v $tool >/dev/null || { echo "$tool is missing (scripts/setup installs it)" >&2; exit 2; }
done
if [ ! -d "$CORPUS/tree" ]; then
  echo "building the corpus in $CORPUS" >&2
  /work/shared/bench/make-corpus.sh "$CORPUS" >&2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/brevion-throughput.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
TREE=$CORPUS/tree${SUBSET:+/$SUBSET}

# ---- preparation (not timed) ----
echo "preparing in $WORK" >&2
# The installers are built by a copy of the program without its debug
# information, as a release build is: the native build's (about 27 MB)
# would otherwise ride in every installer, be summed by its checksum pass
# and be written out again as its uninstaller.
STUB=$WORK/brevion
strip -o "$STUB" "$BREVION" 2>/dev/null || cp "$BREVION" "$STUB"
PROJECT=$WORK/project
mkdir -p "$PROJECT/files/temp_dir"
cp -a "$TREE" "$PROJECT/files/install_dir"
cp "$HERE"/../examples/notes/files/temp_dir/* "$PROJECT/files/temp_dir/"
printf '%s\n' '#variables' 'ProgramName=BenchTree' 'DisplayName=Bench Tree' 'Version=1' \
  'install_dir=C:\Bench Tree\' > "$PROJECT/files/install.dat"
"$STUB" build "$WORK/none-setup" "$PROJECT" > /dev/null
tar -C "$TREE" -cf "$WORK/tree.tar" .
if [[ " $PAIRS " == *" zlib "* ]]; then
  "$STUB" build "$WORK/zlib-setup" "$PROJECT" zlibormal > /dev/null
  pigz -6 -p2 < "$WORK/tree.tar" > "$WORK/tree.tar.gz"
fi
if [[ " $PAIRS " == *" ppm "* ]]; then
  "$STUB" build "$WORK/ppm-setup" "$PROJECT" normal > /dev/null
  (cd "$TREE" && 7zz a -bd -t7z -m0=PPMd:o=5:mem=24m -mmt=1 "$WORK/tree.7z" . > /dev/null)
fi
FILES=$(find "$TREE" -type f | wc -l)
BYTES=$(find "$TREE" -type f -printf "%s\n" | awk '{s += $1} END {print s}')

# The Wine pair's preparation and rounds.
source "$HERE/lib/wine_pair.sh"

# Busy clock ticks of the whole machine, and those of this script's children.
busy_ticks() { awk '/^cpu / {print $2 + $3 + $4 + $7 + $8}' /proc/stat; }

# run NAME COMMAND: runs COMMAND (bash) once into a new folder $OUT and
# appends "wall cpu foreign" to $WORK/NAME.times; the CPU is the user + sys
# time of the command's whole process tree (children's times from `times`).
run() {
  local name=$1 command=$2 n
  n=$(($(cat "$WORK/count" 2>/dev/null || echo 0) + 1))
  echo $n > "$WORK/count"
  export OUT=$WORK/out/$n ROOT=$WORK/root/$n
  mkdir -p "$WORK/out" "$ROOT"
  local busy0 start end busy1 cpu
  busy0=$(busy_ticks)
  start=$(date +%s.%N)
  cpu=$(bash -c "{ $command; }"' >/dev/null 2>&1 </dev/null; rc=$?; times; exit $rc') ||
    { echo "failed: $name: $command" >&2; exit 1; }
  # The children's line of `times`: "XmY.YYYs XmY.YYYs" (user, sys).
  cpu=$(echo "$cpu" | tail -1 | awk '{ t = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); t += p[1] * 60 + p[2] } print t }')
  end=$(date +%s.%N)
  busy1=$(busy_ticks)
  # Other processes' CPU in cores: all busy time less this command's.
  awk -v w="$(echo "$end - $start" | bc)" -v c="$cpu" -v b=$((busy1 - busy0)) -v hz="$HZ" \
    'BEGIN { f = (b / hz - c) / w; if (f < 0) f = 0; printf "%.4f %.4f %.3f\n", w, c, f }' >> "$WORK/$name.times"
}

# Checks that the last run wrote the whole tree (the install's folder, or
# the peer's output).
check() { diff -rq "$TREE" "$1" > /dev/null || { echo "different output: $1" >&2; exit 1; }; }

INSTALL='BREVION_ROOT=$ROOT "$WORK/%s-setup" --silent --no-shortcuts --dir="$OUT"'
install_command() { printf "$INSTALL" "$1"; }
export WORK TREE

for pair in $PAIRS; do
  for ((r = 1; r <= ROUNDS; r++)); do
    case $pair in
      none)
        run ours-none "$(install_command none)"; check "$OUT"
        run cp 'cp -r "$TREE" "$OUT"'; check "$OUT"
        run tar 'mkdir -p "$OUT" && tar -xf "$WORK/tree.tar" -C "$OUT"'; check "$OUT" ;;
      zlib)
        run ours-zlib "$(install_command zlib)"; check "$OUT"
        run pigz 'mkdir -p "$OUT" && pigz -d < "$WORK/tree.tar.gz" | tar -x -C "$OUT"'; check "$OUT" ;;
      ppm)
        run ours-ppm "$(install_command ppm)"; check "$OUT"
        run 7zz '7zz x -bd -mmt=1 -o"$OUT" "$WORK/tree.7z"'; check "$OUT" ;;
      wine)
        if [ $r = 1 ] && ! wine_pair_prepare; then break; fi
        wine_pair_round ;;
    esac
  done
done

# ---- report ----
# stats NAME: "min median" of wall, of CPU, and the mean foreign load.
stats() {
  local file=$WORK/$1.times n m
  n=$(wc -l < "$file")
  m=$(((n + 1) / 2))
  echo "$(cut -d' ' -f1 "$file" | sort -g | head -1) $(cut -d' ' -f1 "$file" | sort -g | sed -n ${m}p)" \
    "$(cut -d' ' -f2 "$file" | sort -g | head -1) $(cut -d' ' -f2 "$file" | sort -g | sed -n ${m}p)" \
    "$(awk '{ f += $3 } END { printf "%.2f", f / NR }' "$file")"
}
echo
echo "tree: $FILES files, $BYTES bytes; $ROUNDS rounds per pair; $(nproc) cores; load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '| %-9s | %-9s | %21s | %21s | %21s | %21s | %13s | %13s | %5s |\n' ours peer \
  "ours wall min / med s" "peer wall min / med s" "ours CPU min / med s" "peer CPU min / med s" \
  "wall peer/ours" "CPU peer/ours" "load"
echo "|---|---|--:|--:|--:|--:|--:|--:|--:|"
row() {
  [ -f "$WORK/$1.times" ] && [ -f "$WORK/$2.times" ] || return 0
  read -r ow1 ow2 oc1 oc2 of <<< "$(stats "$1")"
  read -r pw1 pw2 pc1 pc2 pf <<< "$(stats "$2")"
  awk -v o="$1" -v p="$2" -v ow1=$ow1 -v ow2=$ow2 -v oc1=$oc1 -v oc2=$oc2 -v pw1=$pw1 -v pw2=$pw2 \
    -v pc1=$pc1 -v pc2=$pc2 -v load="$(awk -v a=$of -v b=$pf 'BEGIN { print (a + b) / 2 }')" 'BEGIN {
    printf "| %-9s | %-9s | %9.3f / %9.3f | %9.3f / %9.3f | %9.3f / %9.3f | %9.3f / %9.3f | %5.2f / %5.2f | %5.2f / %5.2f | %5.2f |\n",
      o, p, ow1, ow2, pw1, pw2, oc1, oc2, pc1, pc2, pw1 / ow1, pw2 / ow2, pc1 / oc1, pc2 / oc2, load }'
}
row ours-none cp
row ours-none tar
row ours-zlib pigz
row ours-ppm 7zz
row wine-none xcopy
row wine-zlib xcopy
echo
echo "ratios: min / median; load: other processes' CPU during the pair's runs, in cores"
