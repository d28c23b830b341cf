#!/usr/bin/env bash
# Are selfed offspring found? For each seed a monoecious sample of 200
# offspring typed at 12 microsatellites, a fifth of them selfed, is
# analysed; the table gives the share of selfed offspring called selfed
# (".Selfer" probability above 0.5), the share of outbred ones called
# selfed, and the selfing-rate estimate of ".Inbreeding" against the truth,
# then the totals over all seeds. Run it by hand after `make build`:
#
#   bench/selfing_accuracy.sh              # seeds 1 to 5
#   SEEDS="1 2" bench/selfing_accuracy.sh
#   NP=2 bench/selfing_accuracy.sh         # two processes each
#   OPTIONS="--offspring 100 --families 12" bench/selfing_accuracy.sh   # other sample options
set -u
source "$(dirname "$0")/common.sh"
seeds=(${SEEDS:-1 2 3 4 5})
launch="$(launcher "${NP:-1}")"
cd "$work"
printf "%5s %16s %16s %9s %9s %9s\n" seed "selfed called" "outbred called" estimate truth seconds
hit=0; selfed=0; false=0; outbred=0
for s in "${seeds[@]}"; do
  rm -f sample.*
  # shellcheck disable=SC2086
  python3 "$root/tools/simulate.py" --seed "$s" --monoecious --offspring 200 --families 25 --loci 12 --alleles 10 \
    --selfing 0.2 ${OPTIONS:-} --out sample > /dev/null
  start=$(date +%s.%N)
  $launch "$pedkin" IFN:sample.dat RST:0 > run.log 2>&1 || { echo "seed $s: pedkin stopped"; continue; }
  end=$(date +%s.%N)
  result="$(python3 "$root/tools/selfing_accuracy.py" sample)"
  read -r h1 n1 <<< "$(echo "$result" | sed -n 's/^selfed offspring called selfed: \([0-9]*\) of \([0-9]*\).*/\1 \2/p')"
  read -r h2 n2 <<< "$(echo "$result" | sed -n 's/^outbred offspring called selfed: \([0-9]*\) of \([0-9]*\).*/\1 \2/p')"
  read -r est truth <<< "$(echo "$result" | sed -n 's/^selfing rate: estimate \([0-9.]*\), truth \([0-9.]*\)/\1 \2/p')"
  hit=$((hit + h1)); selfed=$((selfed + n1)); false=$((false + h2)); outbred=$((outbred + n2))
  printf "%5s %16s %16s %9s %9s %9.1f\n" "$s" "$h1/$n1" "$h2/$n2" "$est" "$truth" \
    "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
done
awk -v a="$hit" -v b="$selfed" -v c="$false" -v d="$outbred" \
  'BEGIN { printf "all: selfed called %d/%d (%.1f%%), outbred called %d/%d (%.1f%%)\n", a, b, 100 * a / b, c, d, 100 * c / d }'
