#!/usr/bin/env bash
# accuracy.sh <pedkin> <source dir> <minimum %> <simulate.py options...>: at least that share of
# offspring pairs get their true relationship. PARENTS=<min %>:<max %>: at least that share of
# offspring with a sampled true parent get it, below that share of slots a wrong candidate.
source "$(dirname "$0")/common.sh"
minimum="$3"
shift 3
simulate --out sample "$@"
run_pedkin . sample.dat "${NP:-1}"
tr '\r' '\n' < run.log | grep "best log likelihood"
result="$(python3 "$source_dir/tools/accuracy.py" sample.BestConfig sample.truth sample.candidates)" || fail "$result"
echo "$result"
share="$(echo "$result" | grep "pairs right" | sed -n 's/.*(\([0-9.]*\)%).*/\1/p')"
awk -v s="$share" -v m="$minimum" 'BEGIN { exit !(s >= m) }' || fail "below $minimum%"
if [ -n "${PARENTS:-}" ]; then
  IFS=: read -r assigned wrong <<< "$PARENTS"
  line="$(echo "$result" | grep "sampled parents assigned")"
  got="$(echo "$line" | sed -n 's/.*assigned (\([0-9.]*\)%).*/\1/p')"
  bad="$(echo "$line" | sed -n 's/.*candidates (\([0-9.]*\)%).*/\1/p')"
  awk -v g="$got" -v m="$assigned" 'BEGIN { exit !(g >= m) }' || fail "parents assigned below $assigned%"
  awk -v b="$bad" -v m="$wrong" 'BEGIN { exit !(b < m) }' || fail "wrong candidates not below $wrong%"
fi
