#!/usr/bin/env bash
# Are the genotyping error rates recovered? Simulated samples of 200
# offspring at 30 microsatellites of 10 alleles, drawn with the error model's
# own definitions of the rates (tools/simulate.py --model-errors), once with
# 5% dropout and no other error and once with 2% other error and no
# dropout; the project file states 2% of each, as a user who does not know
# the rates would. For each sample the mean estimate over the loci and the
# share of loci whose interval holds the true rate are printed, then the
# same over all seeds. Run it by hand after `make build`:
#
#   bench/error_rates.sh              # seeds 1 2 3
#   SEEDS="4" NP=2 bench/error_rates.sh
set -u
source "$(dirname "$0")/common.sh"
seeds=(${SEEDS:-1 2 3})
launch="$(launcher "${NP:-1}")"
cd "$work"
for design in dropout other; do
  case $design in
    dropout) rates="--dropout 0.05 --error 0"; truth="0.05 0" ;;
    other) rates="--dropout 0 --error 0.02"; truth="0 0.02" ;;
  esac
  rm -f all.ErrorRate
  for seed in "${seeds[@]}"; do
    python3 "$root/tools/simulate.py" --seed "$seed" --offspring 200 --families 20 --loci 30 --alleles 10 \
      $rates --model-errors --model-rate 0.02 --out "s$seed" || exit 1
    start=$(date +%s)
    $launch "$pedkin" "IFN:s$seed.dat" GUI:1 > "s$seed.log" 2>&1 || { echo "pedkin stopped"; tail "s$seed.log"; exit 1; }
    echo "$design seed $seed ($(( $(date +%s) - start )) s in all): $(python3 "$root/tools/error_rate_accuracy.py" "s$seed.ErrorRate" $truth)"
    if [ -f all.ErrorRate ]; then tail -n +2 "s$seed.ErrorRate" >> all.ErrorRate; else cp "s$seed.ErrorRate" all.ErrorRate; fi
  done
  echo "$design, all seeds: $(python3 "$root/tools/error_rate_accuracy.py" all.ErrorRate $truth)"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
