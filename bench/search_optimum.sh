#!/usr/bin/env bash
# Does the search reach the maximum-likelihood configuration? For each
# design and seed, a simulated sample is analysed twice: as it is, and with
# its true paternal and maternal sibships given as known (the best
# configuration consistent with the true families). The gap is the second
# best log likelihood minus the first: at most 0.01 means the search found a
# configuration at least as likely as the truth. Run it by hand after
# `make build`:
#
#   bench/search_optimum.sh                # 10 seeds of every design
#   SEEDS="1 2" bench/search_optimum.sh A  # some seeds of one design
#   NP=2 bench/search_optimum.sh           # two processes each
#   LENGTH=2 PRECISION=2 bench/search_optimum.sh   # run length and precision of the project
set -u
source "$(dirname "$0")/common.sh"
seeds=(${SEEDS:-1 2 3 4 5 6 7 8 9 10})
designs=("$@")
[ ${#designs[@]} -eq 0 ] && designs=(A B C D)
launch="$(launcher "${NP:-1}")"
# The designs: polygamous samples with many half-sib links.
design_options() {
  case "$1" in
    A) echo "--offspring 120 --fathers 8 --mothers 12 --families 20 --loci 12 --alleles 10 --dropout 0.02 --error 0.02" ;;
    B) echo "--offspring 150 --fathers 12 --mothers 12 --families 25 --loci 10 --alleles 10 --dropout 0.01 --error 0.01" ;;
    C) echo "--offspring 100 --fathers 6 --mothers 8 --families 12 --loci 10 --alleles 8 --dropout 0.01 --error 0.01" ;;
    D) echo "--offspring 150 --fathers 10 --mothers 12 --families 20 --loci 200 --alleles 2 --dropout 0.01 --error 0.01" ;;
    *) echo "unknown design $1" >&2; exit 2 ;;
  esac
}
cd "$work"
best() { tr '\r' '\n' < "$1" | sed -n 's/.*best log likelihood \(-*[0-9.]*\).*/\1/p' | sort -g | tail -1; }
printf "%6s %5s %14s %14s %9s %8s %8s\n" design seed search truth gap seconds "pairs"
for d in "${designs[@]}"; do
  for s in "${seeds[@]}"; do
    # shellcheck disable=SC2046
    python3 "$root/tools/simulate.py" --seed "$s" $(design_options "$d") --length "${LENGTH:-1}" \
      --precision "${PRECISION:-1}" --known-reference --out sample > /dev/null
    start=$(date +%s.%N)
    $launch "$pedkin" IFN:sample.dat RST:0 > search.log 2>&1
    end=$(date +%s.%N)
    $launch "$pedkin" IFN:sample.known.dat RST:0 > known.log 2>&1
    found=$(best search.log)
    truth=$(best known.log)
    pairs=$(python3 "$root/tools/accuracy.py" sample.BestConfig sample.truth | sed -n 's/.*(\(.*\)%).*/\1/p')
    printf "%6s %5s %14s %14s %9.4f %8.1f %8s\n" "$d" "$s" "$found" "$truth" \
      "$(awk -v a="$found" -v b="$truth" 'BEGIN { print b - a }')" \
      "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$pairs"
  done
done
