#!/usr/bin/env bash
# Runs every command example of the README, in order, as a reader would
# paste them into one shell at the repository root, and fails when one of
# them fails or prints something other than its shown output.
#
#   tests/readme/run_readme_examples.sh README.md PROGRAM
#
# PROGRAM is the built brevion to test; it stands in the sandbox as
# build/native/brevion, where the README's examples look for it. KEEP=1
# keeps the sandbox with each block and its output.
#
# It also checks that the README's relative links and #anchors lead
# somewhere.
#
# Conventions in the README (the markers are HTML comments, so they do not
# show when the README is rendered):
#   ```sh            a command example: it is run. Every fenced block must
#                    name its kind (sh, text, ini, ...), so that no command
#                    example can escape this test as an unmarked block.
#   <!-- readme-test: skip REASON -->
#                    on the line before a ```sh block: the block is not
#                    run (builds, root-only setup, Windows command lines).
#   <!-- readme-test: output -->
#                    on the line before a ```text block: that block shows
#                    what the previous ```sh block prints (standard output
#                    and error together). Its lines must appear in the
#                    output in this order; other lines may come between.
#                    "..." inside a line stands for any text; a line that
#                    is only "..." matches nothing and is there for the
#                    reader. Trailing blanks and CRs are not compared.
#
# The sandbox: a copy of the repository (without build/ and .git) in a
# temporary folder, so that examples cannot change the checkout; HOME,
# TMPDIR and BREVION_ROOT point inside it, so no example touches the real
# system's folders; PROGRAM is exported for scripts/demo, which then runs the
# program under test instead of setting up and building one. The blocks run
# with errexit, nounset and pipefail, standard input from /dev/null.
set -euo pipefail
export LC_ALL=C

[[ $# -eq 2 ]] || { echo "usage: $0 README.md PROGRAM" >&2; exit 2; }
readme=$(realpath "$1")
program=$(realpath "$2")
repo=$(dirname "$readme")
[[ -f $readme ]] || { echo "no README at $readme" >&2; exit 2; }
[[ -x $program ]] || { echo "no program at $program" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/readme-examples.XXXXXX")
if [[ -n ${KEEP:-} ]]; then
  trap 'echo "sandbox kept: $work (blocks/N.sh, blocks/N.out)"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi
blocks=$work/blocks
mkdir -p "$blocks"

# ---- split the README into blocks -------------------------------------------
# Writes blocks/N.sh (and blocks/N.expected when an output block follows) and
# one line per block to blocks/index: "N LINE run|skip REASON".
awk -v dir="$blocks" '
  function fail(message) { printf "README.md:%d: %s\n", NR, message > "/dev/stderr"; bad = 1 }
  /^[ \t]*```/ {
    if (!inside) {
      info = $0; sub(/^[ \t]*```[ \t]*/, "", info); sub(/[ \t]+$/, "", info)
      if (info == "") fail("a fenced block without a kind (use ```sh for commands, ```text for output)")
      inside = 1; start = NR; kind = info
      if (kind == "sh") {
        n++; file = dir "/" n ".sh"; printf "" > file
        if (marker ~ /^skip/) {
          reason = marker; sub(/^skip[ \t]*/, "", reason)
          if (reason == "") fail("a skip marker needs a reason")
          printf "%d %d skip %s\n", n, NR, reason > (dir "/index")
        } else if (marker != "") {
          fail("marker \"" marker "\" before a sh block")
        } else {
          printf "%d %d run\n", n, NR > (dir "/index")
        }
      } else if (marker == "output") {
        if (n == 0) fail("an output block before any sh block")
        file = dir "/" n ".expected"; printf "" > file
      } else {
        if (marker != "") fail("marker \"" marker "\" before a " kind " block")
        file = ""
      }
      marker = ""
      next
    }
    inside = 0; if (file != "") close(file); file = ""
    next
  }
  inside { if (file != "") print > file; next }
  /^<!-- readme-test:/ {
    if (marker != "") fail("two markers in a row")
    marker = $0; sub(/^<!-- readme-test:[ \t]*/, "", marker); sub(/[ \t]*-->[ \t]*$/, "", marker)
    if (marker != "output" && marker !~ /^skip/) fail("unknown marker \"" marker "\"")
    next
  }
  /[^ \t]/ { if (marker != "") fail("marker \"" marker "\" not followed by a fenced block"); marker = "" }
  END {
    if (inside) { NR = start; fail("a fenced block that is never closed") }
    if (n == 0) fail("no sh blocks found")
    exit bad
  }
' "$readme"

# ---- links ---------------------------------------------------------------------
# Every relative link outside fenced blocks names a file or folder of the
# repository, and every "#anchor" a heading of the README (GitHub's rule:
# lower case, punctuation dropped, blanks to "-").
awk -v repo="$repo" '
  function slug(text) {
    text = tolower(text); gsub(/[^a-z0-9 _-]/, "", text); gsub(/ /, "-", text); return text
  }
  /^[ \t]*```/ { inside = !inside; next }
  inside { next }
  /^#+ / { heading = $0; sub(/^#+ +/, "", heading); anchors[slug(heading)] = 1 }
  {
    line = $0
    while (match(line, /\]\([^)]+\)/)) {
      target = substr(line, RSTART + 2, RLENGTH - 3)
      line = substr(line, RSTART + RLENGTH)
      if (target ~ /^[a-z]+:/) continue
      links[++count] = target; where[count] = NR
    }
  }
  END {
    for (k = 1; k <= count; k++) {
      target = links[k]
      if (target ~ /^#/) {
        if (!(substr(target, 2) in anchors)) { printf "README.md:%d: no heading for the link %s\n", where[k], target > "/dev/stderr"; bad = 1 }
        continue
      }
      sub(/#.*/, "", target)
      if (system("test -e \"" repo "/" target "\"") != 0) {
        printf "README.md:%d: the link %s names nothing in the repository\n", where[k], target > "/dev/stderr"; bad = 1
      }
    }
    exit bad
  }
' "$readme"

# ---- the sandbox -------------------------------------------------------------
sandbox=$work/repo
mkdir -p "$sandbox"
(cd "$repo" && tar --exclude=./build --exclude=./.git --exclude=./.deps --exclude=./out -cf - .) | (cd "$sandbox" && tar -xf -)
mkdir -p "$sandbox/build/native" "$work/home" "$work/tmp" "$work/root"
ln -s "$program" "$sandbox/build/native/brevion"

# ---- the driver: one shell runs every block in order ---------------------------
# A failing command ends the shell (errexit); the EXIT trap names the block.
driver=$work/driver.sh
{
  cat <<'EOF'
set -euo pipefail
current=""
# A block that fails ends the shell inside its own redirections, so the
# report goes to a copy of the driver's standard error.
exec 3>&2
report() {
  local status=$?
  if [[ -n $current ]]; then
    read -r number line _ <<<"$current"
    echo "FAILED: the example at README.md:$line (block $number) ended with status $status; its output:" >&3
    sed 's/^/  | /' "$BLOCKS/$number.out" >&3
  fi
}
trap report EXIT
# expect N: the lines of N.expected appear in N.out in order.
expect() {
  awk -v expected="$BLOCKS/$1.expected" '
    function pattern(text) {
      gsub(/[][\\^$.|?*+(){}]/, "\\\\&", text)
      gsub(/\\\.\\\.\\\./, ".*", text)
      return "^" text "$"
    }
    function clean(text) { sub(/[ \t\r]+$/, "", text); return text }
    BEGIN {
      while ((getline want < expected) > 0) {
        want = clean(want)
        if (want != "...") wanted[++count] = pattern(want)
      }
      next_wanted = 1
    }
    next_wanted <= count && clean($0) ~ wanted[next_wanted] { next_wanted++ }
    END {
      if (next_wanted <= count) {
        print "no line of the output matches the expected line " next_wanted ": " wanted[next_wanted] > "/dev/stderr"
        exit 1
      }
    }
  ' "$BLOCKS/$1.out"
}
EOF
  while read -r number line verdict reason; do
    if [[ $verdict == skip ]]; then continue; fi
    printf 'current="%d %d"\n' "$number" "$line"
    printf 'source "$BLOCKS/%d.sh" >"$BLOCKS/%d.out" 2>&1 </dev/null\n' "$number" "$number"
    if [[ -f $blocks/$number.expected ]]; then
      printf 'expect %d\n' "$number"
    fi
    printf 'echo "ok   README.md:%d"\n' "$line"
  done <"$blocks/index"
  printf 'current=""\n'
} >"$driver"

ran=$(grep -c ' run$' "$blocks/index" || true)
skipped=$(grep -c ' skip ' "$blocks/index" || true)
while read -r number line verdict reason; do
  if [[ $verdict == skip ]]; then echo "skip README.md:$line ($reason)"; fi
done <"$blocks/index"

(
  cd "$sandbox"
  unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_DESKTOP_DIR XDG_DOCUMENTS_DIR XDG_RUNTIME_DIR BREVION_THREADS
  export HOME=$work/home TMPDIR=$work/tmp BREVION_ROOT=$work/root
  export PROGRAM=$sandbox/build/native/brevion BLOCKS=$blocks
  exec bash "$driver"
)
echo "README examples: $ran run, $skipped not run"
