#!/usr/bin/env bash
# genotypes.sh <pedkin> <source dir> <margin> <simulate.py options...>: one and two processes write
# the same genotype files, and the most probable genotype of untyped offspring loci is the true one
# at least as often as the ceiling the true parents allow (genotype_accuracy.py) less the margin.
source "$(dirname "$0")/common.sh"
margin="$3"
shift 3
simulate --out sample --genotypes "$@"
mkdir one two
cp sample.dat one/
cp sample.dat two/
run_pedkin one sample.dat
run_pedkin two sample.dat 2
for suffix in OffGenotype DadGenotype MumGenotype; do
  cmp "one/sample.$suffix" "two/sample.$suffix" || fail ".$suffix differs with two processes"
done
result="$(python3 "$source_dir/tools/genotype_accuracy.py" sample one/sample)" || fail "$result"
echo "$result"
read -r _ missing _ right _ share _ ceiling <<< "$result"
[ "$missing" -gt 50 ] || fail "too few untyped loci to judge"
awk -v s="$share" -v c="$ceiling" -v m="$margin" 'BEGIN { exit !(s >= c - m) }' || fail "share below the ceiling less $margin"
