#!/usr/bin/env bash
# ppm_peer.sh BENCH_BINARY FILE [max-megabytes] [repetitions]
# The project's PPM codec (bench_ppm_bench, blocks as the container codes
# them) next to the peer's PPMd (7-Zip, one thread, whole file) at comparable
# orders: ours 2, 5, 13 against the peer's 2, 6, 16 (model memory 16, 16 and
# 64 MB). The peer codes its own variant, so ratios differ a little; speed at
# a comparable order is what this compares.
#
# On a shared machine only CPU time (user + sys) means anything, and even it
# rises with the load. So each repetition runs ours and the peer back to back,
# order by order, and the best CPU time of each side is kept (default 3
# repetitions). Prints out/in %, MB per CPU second of both sides and
# ours / peer for encoding and decoding (MB = 10^6 bytes of input).
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
best() { awk -v a="$1" -v b="$2" 'BEGIN{print (b == "" || a + 0 > b + 0) ? a : b}'; }

PAIRS=("2 2 16" "5 6 16" "13 16 64")  # our order, peer order, peer memory MB
declare -A OURS_ENC OURS_DEC OURS_PCT PEER_ENC PEER_DEC PEER_PCT
for ((rep = 1; rep <= REPS; ++rep)); do
  for pair in "${PAIRS[@]}"; do
    set -- $pair
    # Last five columns of the level's row: out/in%, enc MB/s, enc CPU, dec MB/s, dec CPU.
    read -r pct enc dec < <("$BENCH" "$FILE" 0 1 "$1" | awk -v o="o$1" '$1 == o {print $(NF-4), $(NF-2), $NF}')
    OURS_PCT[$1]=$pct
    OURS_ENC[$1]=$(best "$enc" "${OURS_ENC[$1]:-}")
    OURS_DEC[$1]=$(best "$dec" "${OURS_DEC[$1]:-}")

    rm -f "$WORK/a.7z"
    enc=$(cpu_seconds "$SEVENZIP" a -bd -t7z -m0=PPMd:o=$2:mem=$3m -mmt=1 "$WORK/a.7z" "$FILE")
    dec=$(cpu_seconds "$SEVENZIP" e -so "$WORK/a.7z")
    PEER_PCT[$1]=$(awk -v p="$(stat -c %s "$WORK/a.7z")" -v s="$SIZE" 'BEGIN{printf "%.2f", 100 * p / s}')
    PEER_ENC[$1]=$(best "$(awk -v s="$SIZE" -v t="$enc" 'BEGIN{printf "%.2f", s / 1e6 / t}')" "${PEER_ENC[$1]:-}")
    PEER_DEC[$1]=$(best "$(awk -v s="$SIZE" -v t="$dec" 'BEGIN{printf "%.2f", s / 1e6 / t}')" "${PEER_DEC[$1]:-}")
  done
done

echo "input $(basename "$FILE"), $(awk -v s="$SIZE" 'BEGIN{printf "%.2f", s / 1e6}') MB, best of $REPS;" \
     "peer: $("$SEVENZIP" | head -2 | tail -1 | cut -c1-30)"
printf "%-11s %15s   %-24s %-24s\n" "order" "out/in %" "encode MB/s CPU" "decode MB/s CPU"
printf "%-11s %7s %7s   %7s %7s %8s %7s %7s %8s\n" "ours/peer" ours peer ours peer ours/peer ours peer ours/peer
for pair in "${PAIRS[@]}"; do
  set -- $pair
  awk -v o="$1/$2" -v op="${OURS_PCT[$1]}" -v pp="${PEER_PCT[$1]}" \
      -v oe="${OURS_ENC[$1]}" -v pe="${PEER_ENC[$1]}" -v od="${OURS_DEC[$1]}" -v pd="${PEER_DEC[$1]}" \
      'BEGIN{printf "%-11s %7.2f %7.2f   %7.2f %7.2f %8.2f %7.2f %7.2f %8.2f\n", o, op, pp, oe, pe, oe / pe, od, pd, od / pd}'
done
