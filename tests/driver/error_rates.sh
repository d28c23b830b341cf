#!/usr/bin/env bash
# Runs the whole program on a simulated sample of 100 offspring at 10 loci
# with 5% dropout and 3% other errors, drawn as the error model defines the
# rates, with locus 1 made monomorphic; once with one process and once with
# two, each with a very short search (the families of this sample are clear).
# Requires the same ".ErrorRate" from both, the exact header, a row of
# eight trimmed F8.4 texts for every locus but the monomorphic one, mean
# estimates near the true rates, and intervals that hold them at 7 or more
# of the 9 loci. The tolerances are about four standard errors of a mean
# over 9 loci at this sample size (per-locus errors about 0.015 for dropout
# and 0.012 for other errors, as the intervals' widths show).
#   error_rates.sh <pedkin> <source dir>
set -u
pedkin="$1"
source_dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --seed 2 --offspring 100 --families 10 --loci 10 --alleles 8 \
  --dropout 0.05 --error 0.03 --model-errors --model-rate 0.02 --length 0 --out sample || { echo "FAIL: simulation"; exit 1; }
awk '/^O[0-9]/ { $2 = "100"; $3 = "100" } { print }' sample.dat > s.dat && mv s.dat sample.dat
mkdir one two
cp sample.dat one/
cp sample.dat two/
(cd one && "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin stopped"; cat one/run.log; exit 1; }
launch="mpirun -np 2"
[ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
(cd two && $launch "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin stopped under mpirun"; cat two/run.log; exit 1; }
cmp one/sample.ErrorRate two/sample.ErrorRate || { echo "FAIL: .ErrorRate differs with two processes"; exit 1; }
[ "$(head -1 one/sample.ErrorRate)" = "MarkerID,StartDropRate,DropRateEst,DropRateCI95LB,DropRateCI95UB,StartOtherErrorRate,OtherErrorRateEst,OtherErrorRateCI95LB,OtherErrorRateCI95UB" ] ||
  { echo "FAIL: header"; exit 1; }
[ "$(tail -n +2 one/sample.ErrorRate | grep -cE '^MK([2-9]|10)(,[01]\.[0-9]{4}){8}$')" = 9 ] &&
  [ "$(wc -l < one/sample.ErrorRate)" = 10 ] || { echo "FAIL: rows"; cat one/sample.ErrorRate; exit 1; }
result="$(python3 "$source_dir/tools/error_rate_accuracy.py" one/sample.ErrorRate 0.05 0.03)" || { echo "FAIL: $result"; exit 1; }
echo "$result"
read -r _ _ _ drop dropheld _ other otherheld <<< "$result"
awk -v d="$drop" -v dh="$dropheld" -v e="$other" -v eh="$otherheld" \
  'BEGIN { exit !(d > 0.03 && d < 0.07 && e > 0.015 && e < 0.045 && dh >= 0.75 && eh >= 0.75) }' ||
  { echo "FAIL: estimates too far from 0.05 and 0.03, or intervals that miss them"; cat one/sample.ErrorRate; exit 1; }
