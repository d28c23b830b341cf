#!/usr/bin/env bash
# Runs the whole program on a simulated sample with missing typings whose
# true genotypes are known, once with one process and once with two, and
# requires that the genotype files of both are identical and that the most
# probable inferred genotype of the untyped offspring loci is the true one
# about as often as the parents' true genotypes would allow: at least that
# ceiling (genotype_accuracy.py) less the given margin.
#   genotypes.sh <pedkin> <source dir> <margin> <simulate.py options...>
set -u
pedkin="$1"
source_dir="$2"
margin="$3"
shift 3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --out sample --genotypes "$@" || { echo "FAIL: simulation"; exit 1; }
mkdir one two
cp sample.dat one/
cp sample.dat two/
(cd one && "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin stopped"; cat one/run.log; exit 1; }
launch="mpirun -np 2"
[ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
(cd two && $launch "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin stopped under mpirun"; cat two/run.log; exit 1; }
for suffix in OffGenotype DadGenotype MumGenotype; do
  cmp "one/sample.$suffix" "two/sample.$suffix" || { echo "FAIL: .$suffix differs with two processes"; exit 1; }
done
result="$(python3 "$source_dir/tools/genotype_accuracy.py" sample one/sample)" || { echo "FAIL: $result"; exit 1; }
echo "$result"
read -r _ missing _ right _ share _ ceiling <<< "$result"
[ "$missing" -gt 50 ] || { echo "FAIL: too few untyped loci to judge"; exit 1; }
awk -v s="$share" -v c="$ceiling" -v m="$margin" 'BEGIN { exit !(s >= c - m) }' || { echo "FAIL: share below the ceiling less $margin"; exit 1; }
