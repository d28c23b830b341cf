#!/usr/bin/env bash
# The three analysis methods side by side (0 pairwise score, 1 full
# likelihood, 2 pairwise-guided full likelihood) on simulated samples, run
# length 1, medium precision: seconds, share of offspring pairs right,
# sampled parents found and wrong candidates, and whether every confidence
# of the pairwise parentage files is one of 50%, 55%, ..., 100%. Run it by
# hand after `make build`, on a quiet machine:
#
#   bench/analysis_methods.sh              # every design, methods 0 1 2, two processes
#   METHODS="0" bench/analysis_methods.sh large
#   NP=1 bench/analysis_methods.sh parents
#
# Designs: large (1,000 offspring x 400 SNPs, 150 full-sib families, 0.5%
# errors, no candidates), parents (300 x 300 SNPs, 80% of the parents among
# the candidates and 5 unrelated candidates more per sex, 1% errors) and
# microsat (500 x 20 microsatellites of 10 alleles, 1% errors).
set -u
source "$(dirname "$0")/common.sh"
designs=("$@")
[ ${#designs[@]} -eq 0 ] && designs=(large parents microsat)
methods=(${METHODS:-0 1 2})
np="${NP:-2}"
launch="$(launcher "$np")"
cd "$work"

design_options() {
  case "$1" in
    large) echo "--offspring 1000 --families 150 --loci 400 --alleles 2 --dropout 0.005 --error 0.005" ;;
    parents) echo "--offspring 300 --families 38 --loci 300 --alleles 2 --dropout 0.01 --error 0.01 --sampled 0.8 --extra 5" ;;
    microsat) echo "--offspring 500 --families 62 --loci 20 --alleles 10 --dropout 0.01 --error 0.01" ;;
    *) echo "unknown design $1" >&2; exit 2 ;;
  esac
}

# Every confidence of the pairwise parentage files is a multiple of 5 from
# 50 to 100 per cent ("-" when no such file was written).
confidences() {
  local files=(sample.PairwisePaternity sample.PairwiseMaternity) present=0 bad=0
  for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    present=1
    bad=$((bad + $(tail -n +2 "$f" | awk -F, '{ c = $3; sub(/%$/, "", c)
      if (c !~ /^[0-9]+$/ || c + 0 < 50 || c + 0 > 100 || c % 5 != 0) n++ } END { print n + 0 }')))
  done
  [ "$present" = 0 ] && { echo "-"; return; }
  [ "$bad" = 0 ] && echo "ok" || echo "$bad bad"
}

printf "%9s %6s %3s %9s %11s %16s %16s %12s\n" design method np seconds "pairs right" "parents found" "wrong cand." confidences
for d in "${designs[@]}"; do
  for m in "${methods[@]}"; do
    rm -f sample.*
    python3 "$root/tools/simulate.py" --seed 1 $(design_options "$d") --length 1 --precision 1 --method "$m" \
      --out sample > /dev/null
    start=$(date +%s.%N)
    $launch "$pedkin" IFN:sample.dat RST:0 TID:1 > run.log 2>&1
    status=$?
    end=$(date +%s.%N)
    if [ "$status" != 0 ]; then
      printf "%9s %6s %3s   stopped: %s\n" "$d" "$m" "$np" "$(head -1 Pedkin2.ErrorMessage 2> /dev/null)"
      continue
    fi
    report=$(python3 "$root/tools/accuracy.py" sample.BestConfig sample.truth sample.candidates)
    pairs=$(echo "$report" | sed -n '1s/.*(\(.*\)).*/\1/p')
    found=$(echo "$report" | sed -n '2s/.*assigned (\([^)]*\)).*/\1/p')
    wrong=$(echo "$report" | sed -n '2s/.*candidates (\([^)]*\)).*/\1/p')
    printf "%9s %6s %3s %9.1f %11s %16s %16s %12s\n" "$d" "$m" "$np" \
      "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$pairs" "${found:--}" "${wrong:--}" "$(confidences)"
  done
done
