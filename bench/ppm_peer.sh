#!/usr/bin/env bash
# ppm_peer.sh BENCH_BINARY FILE [max-megabytes] [repetitions]
# (ORDERS="2" in the environment limits the run to some of our orders)
# The project's PPM codec (bench_ppm_bench, blocks as the container codes
# them) next to the peer's PPMd (7-Zip, one thread, whole file) at comparable
# orders: ours 2, 5, 13 against the peer's 2, 6, 16 (model memory 16, 16 and
# 64 MB). The peer codes its own variant, so ratios differ a little; speed at
# a comparable order is what this compares.
#
# On a shared machine only CPU time (user + sys) means anything, and even it
# rises with the load. So each repetition runs ours and the peer back to back,
# order by order (default 3 repetitions). Prints out/in %, the best and the
# median MB per CPU second of both sides and ours / peer for encoding and
# decoding (MB = 10^6 bytes of input), and the load: the load average and
# the CPU that other processes used during the run, in cores.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BENCH_BINARY FILE [max-megabytes] [repetitions]" >&2; exit 2; }
BENCH=$1; FILE=$2; LIMIT=${3:-0}; REPS=${4:-3}
SEVENZIP=$(command -v 7zz || command -v 7z) || { echo "7-Zip (7zz or 7z) not found" >&2; exit 2; }
WORK=$(mktemp -d /dev/shm/ppm-peer.XXXXXX); trap 'rm -rf "$WORK"' EXIT
if [ "$LIMIT" != 0 ]; then
  head -c "$(awk -v m="$LIMIT" 'BEGIN{printf "%d", m*1000000}')" "$FILE" > "$WORK/input"
  FILE=$WORK/input
fi
SIZE=$(stat -c %s "$FILE")

cpu_seconds() {  # user+sys seconds of a command, output discarded
  /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 + $2}'
}
# Best (highest) and median of a list of MB/s figures.
best_of() { tr ' ' '\n' <<<"$1" | awk 'NF' | sort -g | tail -1; }
median_of() {
  tr ' ' '\n' <<<"$1" | awk 'NF' | sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
# Busy jiffies of the whole machine (not counting time the hypervisor
# took), and CPU seconds of this script's children.
machine_busy() { awk '$1 == "cpu" {print $2 + $3 + $4 + $7 + $8}' /proc/stat; }
children_cpu() {  # `times` prints e.g. "1m2.500s 0m0.100s" for the children
  awk 'END {t = 0; for (i = 1; i <= 2; ++i) {split($i, p, "m"); t += 60 * p[1] + p[2]} print t}' "$WORK/times"
}

PAIRS=("2 2 16" "5 6 16" "13 16 64")  # our order, peer order, peer memory MB
if [ -n "${ORDERS:-}" ]; then  # e.g. ORDERS="2" or ORDERS="2 5": only these of our orders
  chosen=()
  for pair in "${PAIRS[@]}"; do
    for o in $ORDERS; do [ "${pair%% *}" = "$o" ] && chosen+=("$pair"); done
  done
  PAIRS=("${chosen[@]}")
fi
declare -A OURS_ENC OURS_DEC OURS_PCT PEER_ENC PEER_DEC PEER_PCT
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
# `times` runs in this shell: in a command substitution it would see none of
# the children.
times > "$WORK/times"; BUSY0=$(machine_busy); OWN0=$(children_cpu); T0=$(date +%s.%N)
for ((rep = 1; rep <= REPS; ++rep)); do
  for pair in "${PAIRS[@]}"; do
    set -- $pair
    # Last five columns of the level's row: out/in%, enc MB/s, enc CPU, dec MB/s, dec CPU.
    read -r pct enc dec < <("$BENCH" "$FILE" 0 1 "$1" | awk -v o="o$1" '$1 == o {print $(NF-4), $(NF-2), $NF}')
    OURS_PCT[$1]=$pct
    OURS_ENC[$1]+=" $enc"
    OURS_DEC[$1]+=" $dec"

    rm -f "$WORK/a.7z"
    enc=$(cpu_seconds "$SEVENZIP" a -bd -t7z -m0=PPMd:o=$2:mem=$3m -mmt=1 "$WORK/a.7z" "$FILE")
    dec=$(cpu_seconds "$SEVENZIP" e -so "$WORK/a.7z")
    PEER_PCT[$1]=$(awk -v p="$(stat -c %s "$WORK/a.7z")" -v s="$SIZE" 'BEGIN{printf "%.2f", 100 * p / s}')
    PEER_ENC[$1]+=" $(awk -v s="$SIZE" -v t="$enc" 'BEGIN{printf "%.2f", s / 1e6 / t}')"
    PEER_DEC[$1]+=" $(awk -v s="$SIZE" -v t="$dec" 'BEGIN{printf "%.2f", s / 1e6 / t}')"
  done
done
times > "$WORK/times"; BUSY1=$(machine_busy); OWN1=$(children_cpu); T1=$(date +%s.%N)
# CPU that other processes used meanwhile, in cores (jiffies are 1/100 s).
OTHER=$(awk -v b0="$BUSY0" -v b1="$BUSY1" -v o0="$OWN0" -v o1="$OWN1" -v t0="$T0" -v t1="$T1" \
  'BEGIN{v = ((b1 - b0) / 100 - (o1 - o0)) / (t1 - t0); printf "%.2f", v < 0 ? 0 : v}')

echo "input $(basename "$FILE"), $(awk -v s="$SIZE" 'BEGIN{printf "%.2f", s / 1e6}') MB, best / median of $REPS;" \
     "peer: $("$SEVENZIP" | head -2 | tail -1 | cut -c1-30)"
echo "load average before: $LOAD_BEFORE, after: $(cut -d' ' -f1-3 /proc/loadavg); other processes: $OTHER cores"
printf "%-9s %15s   %-40s %-40s\n" "order" "out/in %" "encode MB/s CPU, best / median" "decode MB/s CPU, best / median"
printf "%-9s %7s %7s   %-13s %-13s %-12s %-13s %-13s %-12s\n" "ours/peer" ours peer ours peer ours/peer ours peer ours/peer
for pair in "${PAIRS[@]}"; do
  set -- $pair
  awk -v o="$1/$2" -v op="${OURS_PCT[$1]}" -v pp="${PEER_PCT[$1]}" \
      -v oe="$(best_of "${OURS_ENC[$1]}")" -v pe="$(best_of "${PEER_ENC[$1]}")" \
      -v od="$(best_of "${OURS_DEC[$1]}")" -v pd="$(best_of "${PEER_DEC[$1]}")" \
      -v oem="$(median_of "${OURS_ENC[$1]}")" -v pem="$(median_of "${PEER_ENC[$1]}")" \
      -v odm="$(median_of "${OURS_DEC[$1]}")" -v pdm="$(median_of "${PEER_DEC[$1]}")" \
      'BEGIN{printf "%-9s %7.2f %7.2f   %5.2f/%5.2f   %5.2f/%5.2f   %4.2f/%4.2f    %5.2f/%5.2f   %5.2f/%5.2f   %4.2f/%4.2f\n",
             o, op, pp, oe, oem, pe, pem, oe / pe, oem / pem, od, odm, pd, pdm, od / pd, odm / pdm}'
done
