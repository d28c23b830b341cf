#!/usr/bin/env bash
# Allele frequencies estimated with the configuration, on a sample of few
# large families: the updated column of ".AlleleFreq" sums to 1 and is
# closer to the population's than the offspring counts; two processes write
# the same files as one. Under the pairwise method the repeat record of a
# finished execution says so, and one naming the last repeat is taken up.
#   frequency_update.sh <pedkin> <source dir>
set -u
pedkin="$1"
source_dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; cat ./*/run.log 2>/dev/null | tr '\r' '\n' | tail -20; exit 1; }
launch="mpirun -np 2"
[ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
simulate() { python3 "$source_dir/tools/simulate.py" --length 0 --update-frequencies 1 "$@" || fail simulation; }
simulate --out s --seed 5 --offspring 120 --families 8 --fathers 8 --mothers 8 --loci 10 --alleles 8 --true-frequencies
simulate --out p --seed 5 --offspring 24 --families 4 --fathers 3 --mothers 3 --loci 8 --alleles 6 --method 0
mkdir one two pw
cp s.dat one/ && cp s.dat two/ && cp p.dat pw/
(cd one && "$pedkin" IFN:s.dat > run.log 2>&1) || fail "pedkin stopped"
(cd two && $launch "$pedkin" IFN:s.dat > run.log 2>&1) || fail "pedkin stopped under mpirun"
for f in one/s.[!M]* one/s.M[!i]*; do cmp -s "$f" "two/${f#one/}" || fail "${f#one/} differs with two processes"; done
result="$(python3 "$source_dir/tools/frequency_accuracy.py" s.frequencies one/s.AlleleFreq)" || fail "$result"
echo "mean absolute error: $result"
read -r _ initial _ updated _ <<< "$result"
awk -v a="$initial" -v b="$updated" 'BEGIN { exit !(b < a) }' || fail "updated frequencies no closer to the population's"
cd pw
"$pedkin" IFN:p.dat > run.log 2>&1 || fail "pairwise method stopped"
[ "$(tail -n 1 p.MidResult4)" = "        6" ] || fail "the repeat record of a finished execution: $(tail -n 1 p.MidResult4)"
sed -i '$s/.*/        5/' p.MidResult4
"$pedkin" IFN:p.dat > run.log 2>&1 || fail "resumed pairwise method stopped"
[ "$(tr '\r' '\n' < run.log | grep -c 'best log likelihood')" = 1 ] || fail "not resumed at the last repeat"
echo "OK"
