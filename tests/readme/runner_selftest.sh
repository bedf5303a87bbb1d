#!/usr/bin/env bash
# Checks that run_readme_examples.sh fails on the faults it exists to catch
# and passes a sound README, using small READMEs written here.
#
#   tests/readme/runner_selftest.sh PROGRAM
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 PROGRAM" >&2; exit 2; }
runner=$(cd "$(dirname "$0")" && pwd)/run_readme_examples.sh
program=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/readme-selftest.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME pass|fail [TEXT]: runs the runner on the README read from
# standard input; with TEXT, its messages must contain it.
check() {
  local name=$1 want=$2 text=${3:-} status=0
  mkdir -p "$work/$name"
  cat >"$work/$name/README.md"
  bash "$runner" "$work/$name/README.md" "$program" >"$work/$name.log" 2>&1 || status=$?
  if [[ $want == pass && $status -ne 0 ]] || [[ $want == fail && $status -eq 0 ]]; then
    echo "FAIL $name: expected the runner to $want (status $status)"; sed 's/^/  | /' "$work/$name.log"
    failures=$((failures + 1))
  elif [[ -n $text ]] && ! grep -qF -- "$text" "$work/$name.log"; then
    echo "FAIL $name: no \"$text\" in the runner's messages"; sed 's/^/  | /' "$work/$name.log"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

fence='```'

check sound pass "2 run, 1 not run" <<EOF
${fence}sh
export GREETING=hello
build/native/brevion --version
${fence}

<!-- readme-test: output -->
${fence}text
...
Brevion Installer ...
${fence}

<!-- readme-test: skip never runs -->
${fence}sh
false
${fence}

${fence}sh
echo "\$GREETING from \$PWD" > out.txt    # state carries over; files land in the sandbox
grep -q "^hello from .*/repo\$" out.txt
echo one; echo two; echo three
${fence}

<!-- readme-test: output -->
${fence}text
one
three
${fence}
EOF

check failing-command fail "README.md:4 (block 2)" <<EOF
${fence}sh
true
${fence}
${fence}sh
echo before; false; echo after
${fence}
EOF

check failing-pipe fail "block 1" <<EOF
${fence}sh
false | cat
${fence}
EOF

check unset-variable fail "block 1" <<EOF
${fence}sh
echo "\$NO_SUCH_VARIABLE_HERE"
${fence}
EOF

check wrong-output fail "expected line 2" <<EOF
${fence}sh
echo one; echo two
${fence}
<!-- readme-test: output -->
${fence}text
one
three
${fence}
EOF

check output-order fail "expected line 2" <<EOF
${fence}sh
echo two; echo one
${fence}
<!-- readme-test: output -->
${fence}text
one
two
${fence}
EOF

check regex-characters-literal fail "expected line 1" <<EOF
${fence}sh
echo 'aXb'
${fence}
<!-- readme-test: output -->
${fence}text
a.b
${fence}
EOF

check fence-without-kind fail "without a kind" <<EOF
${fence}
brevion --version
${fence}
EOF

check skip-without-reason fail "needs a reason" <<EOF
<!-- readme-test: skip -->
${fence}sh
true
${fence}
EOF

check dangling-marker fail "not followed by a fenced block" <<EOF
<!-- readme-test: skip later -->
Some text.
${fence}sh
true
${fence}
EOF

check unknown-marker fail "unknown marker" <<EOF
<!-- readme-test: maybe -->
${fence}sh
true
${fence}
EOF

check unclosed-fence fail "never closed" <<EOF
${fence}sh
true
EOF

check no-examples fail "no sh blocks" <<EOF
Nothing to run here.
EOF

check broken-link fail "names nothing" <<EOF
See [the guide](docs/no-such-guide.md).
${fence}sh
true
${fence}
EOF

check broken-anchor fail "no heading" <<EOF
## Exit codes
See [the codes](#exit-codes) and [the options](#options).
${fence}sh
true
${fence}
EOF

check links-that-lead-somewhere pass <<EOF
## Windows: the manifest
See [the manifest](#windows-the-manifest), [this file](README.md) and [a site](https://example.org/x).
${fence}sh
true
${fence}
EOF

check stdin-is-empty pass <<EOF
${fence}sh
test -z "\$(cat)"
${fence}
EOF

check sandboxed-folders pass <<EOF
${fence}sh
sandbox=\$(dirname "\$PWD")
for folder in "\$HOME" "\$TMPDIR" "\$BREVION_ROOT"; do
  case \$folder in "\$sandbox"/*) ;; *) echo "\$folder is outside the sandbox"; exit 1 ;; esac
done
${fence}
EOF

[[ $failures -eq 0 ]] || { echo "$failures checks failed"; exit 1; }
echo "every check passed"
