#!/usr/bin/env bash
# Runs the whole program on a simulated sample whose pedigree is known and
# requires that at least the given share of offspring pairs get the right
# relationship (full sibs, half sibs or unrelated).
#   accuracy.sh <pedkin> <source dir> <minimum %> <simulate.py options...>
# With PARENTS=<minimum %>:<maximum %> it also requires that at least that
# share of the offspring whose true parent is a candidate get it, and that
# at most that share of offspring-parent slots get a wrong candidate. NP=2
# runs the program under mpirun with two processes.
set -u
pedkin="$1"
source_dir="$2"
minimum="$3"
shift 3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --out sample "$@" || { echo "FAIL: simulation"; exit 1; }
launch=""
if [ "${NP:-1}" -gt 1 ]; then
  launch="mpirun -np $NP"
  [ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
fi
$launch "$pedkin" IFN:sample.dat > run.log 2>&1 || { echo "FAIL: pedkin stopped"; cat run.log; cat Pedkin2.ErrorMessage 2>/dev/null; exit 1; }
tr '\r' '\n' < run.log | grep "best log likelihood"
result="$(python3 "$source_dir/tools/accuracy.py" sample.BestConfig sample.truth sample.candidates)" || { echo "FAIL: $result"; exit 1; }
echo "$result"
share="$(echo "$result" | grep "pairs right" | sed -n 's/.*(\([0-9.]*\)%).*/\1/p')"
awk -v s="$share" -v m="$minimum" 'BEGIN { exit !(s >= m) }' || { echo "FAIL: below $minimum%"; exit 1; }
if [ -n "${PARENTS:-}" ]; then
  IFS=: read -r assigned wrong <<< "$PARENTS"
  line="$(echo "$result" | grep "sampled parents assigned")"
  got="$(echo "$line" | sed -n 's/.*assigned (\([0-9.]*\)%).*/\1/p')"
  bad="$(echo "$line" | sed -n 's/.*candidates (\([0-9.]*\)%).*/\1/p')"
  awk -v g="$got" -v m="$assigned" 'BEGIN { exit !(g >= m) }' || { echo "FAIL: parents assigned below $assigned%"; exit 1; }
  awk -v b="$bad" -v m="$wrong" 'BEGIN { exit !(b < m) }' || { echo "FAIL: wrong candidates not below $wrong%"; exit 1; }
fi
