#!/usr/bin/env bash
# Error rates estimated back from 100 simulated offspring at 10 loci (5% dropout, 3% other errors,
# locus 1 monomorphic): the same ".ErrorRate" from one and two processes, its exact layout, means
# near the true rates and intervals holding them at 7 of 9 loci. The tolerances are about four
# standard errors of a mean over 9 loci (per-locus errors about 0.015 and 0.012).
source "$(dirname "$0")/common.sh"
simulate --seed 2 --offspring 100 --families 10 --loci 10 --alleles 8 \
  --dropout 0.05 --error 0.03 --model-errors --model-rate 0.02 --length 0 --out sample
awk '/^O[0-9]/ { $2 = "100"; $3 = "100" } { print }' sample.dat > s.dat && mv s.dat sample.dat
mkdir one two
cp sample.dat one/
cp sample.dat two/
run_pedkin one sample.dat
run_pedkin two sample.dat 2
cmp one/sample.ErrorRate two/sample.ErrorRate || fail ".ErrorRate differs with two processes"
[ "$(tail -n +2 one/sample.ErrorRate | grep -cE '^MK([2-9]|10)(,[01]\.[0-9]{4}){8}$')" = 9 ] &&
  [ "$(wc -l < one/sample.ErrorRate)" = 10 ] || { echo "FAIL: rows"; cat one/sample.ErrorRate; exit 1; }
result="$(python3 "$source_dir/tools/error_rate_accuracy.py" one/sample.ErrorRate 0.05 0.03)" || fail "$result"
echo "$result"
read -r _ _ _ drop dropheld _ other otherheld <<< "$result"
awk -v d="$drop" -v dh="$dropheld" -v e="$other" -v eh="$otherheld" \
  'BEGIN { exit !(d > 0.03 && d < 0.07 && e > 0.015 && e < 0.045 && dh >= 0.75 && eh >= 0.75) }' ||
  { echo "FAIL: estimates too far from 0.05 and 0.03, or intervals that miss them"; cat one/sample.ErrorRate; exit 1; }
