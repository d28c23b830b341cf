#!/usr/bin/env bash
# Frequencies estimated with the configuration on few large families: closer to the population's
# than the offspring counts, the same files from two processes as from one. Under the pairwise
# method the repeat record of a finished execution says so, and one naming the last repeat is taken up.
source "$(dirname "$0")/common.sh"
simulate --length 0 --update-frequencies 1 --out s --seed 5 --offspring 120 --families 8 --fathers 8 --mothers 8 \
  --loci 10 --alleles 8 --true-frequencies
simulate --length 0 --update-frequencies 1 --out p --seed 5 --offspring 24 --families 4 --fathers 3 --mothers 3 \
  --loci 8 --alleles 6 --method 0
mkdir one two pw
cp s.dat one/ && cp s.dat two/ && cp p.dat pw/
run_pedkin one s.dat
run_pedkin two s.dat 2
for f in one/s.[!M]* one/s.M[!i]*; do cmp -s "$f" "two/${f#one/}" || fail "${f#one/} differs with two processes"; done
result="$(python3 "$source_dir/tools/frequency_accuracy.py" s.frequencies one/s.AlleleFreq)" || fail "$result"
echo "mean absolute error: $result"
read -r _ initial _ updated _ <<< "$result"
awk -v a="$initial" -v b="$updated" 'BEGIN { exit !(b < a) }' || fail "updated frequencies no closer to the population's"
run_pedkin pw p.dat
[ "$(tail -n 1 pw/p.MidResult4)" = "        6" ] || fail "the repeat record of a finished execution: $(tail -n 1 pw/p.MidResult4)"
sed -i '$s/.*/        5/' pw/p.MidResult4
run_pedkin pw p.dat
[ "$(tr '\r' '\n' < pw/run.log | grep -c 'best log likelihood')" = 1 ] || fail "not resumed at the last repeat"
echo "OK"
