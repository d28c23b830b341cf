#!/usr/bin/env bash
# Runs the whole program on a simulated sample whose pedigree is known and
# requires that at least the given share of offspring pairs get the right
# relationship (full sibs, half sibs or unrelated).
#   accuracy.sh <pedkin> <source dir> <minimum %> <simulate.py options...>
set -u
pedkin="$1"
source_dir="$2"
minimum="$3"
shift 3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --out sample "$@" || { echo "FAIL: simulation"; exit 1; }
"$pedkin" IFN:sample.dat > run.log 2>&1 || { echo "FAIL: pedkin stopped"; cat run.log; cat Pedkin2.ErrorMessage 2>/dev/null; exit 1; }
tr '\r' '\n' < run.log | grep "best log likelihood"
result="$(python3 "$source_dir/tools/accuracy.py" sample.BestConfig sample.truth)" || { echo "FAIL: $result"; exit 1; }
echo "$result"
share="$(echo "$result" | sed -n 's/.*(\([0-9.]*\)%).*/\1/p')"
awk -v s="$share" -v m="$minimum" 'BEGIN { exit !(s >= m) }' || { echo "FAIL: below $minimum%"; exit 1; }
