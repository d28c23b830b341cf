#!/usr/bin/env bash
# Whole analyses of simulated samples: seconds and share of offspring pairs
# whose relationship is inferred correctly, one line per sample. Slow for
# the larger samples; run it by hand after `make build`:
#
#   bench/search_accuracy.sh              # the default table
#   bench/search_accuracy.sh 100:20:10    # offspring:loci:alleles (2 = SNPs)
#   NP=2 bench/search_accuracy.sh         # two processes each
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
pedkin="$root/build/pedkin"
samples=("$@")
# NP=2 runs each analysis under mpirun with two processes.
launch=""
if [ "${NP:-1}" -gt 1 ]; then
  launch="mpirun -np $NP"
  [ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
fi
[ ${#samples[@]} -eq 0 ] && samples=(100:20:10 500:20:10 1000:20:10 500:500:2)
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
printf "%10s %6s %8s %10s %12s\n" offspring loci alleles seconds "pairs right"
for s in "${samples[@]}"; do
  IFS=: read -r n loci alleles <<< "$s"
  families=$(( n / 8 > 1 ? n / 8 : 1 ))
  python3 "$root/tools/simulate.py" --seed 1 --offspring "$n" --families "$families" --loci "$loci" \
    --alleles "$alleles" --error 0.01 --dropout 0.01 --length 1 --precision 1 --out sample > /dev/null
  start=$(date +%s.%N)
  $launch "$pedkin" IFN:sample.dat TID:1 RST:0 > /dev/null 2>&1
  end=$(date +%s.%N)
  accuracy=$(python3 "$root/tools/accuracy.py" sample.BestConfig sample.truth | sed -n 's/.*(\(.*\)).*/\1/p')
  printf "%10s %6s %8s %10.1f %12s\n" "$n" "$loci" "$alleles" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$accuracy"
done
