#!/usr/bin/env bash
# Calibration of the archive-derived probabilities: simulated samples of
# 120 to 200 offspring at 10 to 12 microsatellites, 80% of the true parents
# among the candidates and 5 unrelated candidates more per sex, one per
# seed. For every probability bin the table shows how many listed items
# fall in it and the share that is true:
#   - ".FullSibDyad" pairs: true full sibs (same father and mother in the
#     simulated pedigree);
#   - the top father of ".Paternity" and the top mother of ".Maternity":
#     the offspring's true parent.
# A well calibrated bin holds a true share close to its probabilities; the
# target is at least 95% true among items at 0.95 or above. Run it by hand
# after the build, on a quiet machine:
#
#   bench/calibration.sh                 # seeds 1..6
#   SEEDS="1 2" bench/calibration.sh
#   EXTRA="ARC:0" bench/calibration.sh   # more command-line options
set -u
source "$(dirname "$0")/common.sh"
seeds=(${SEEDS:-1 2 3 4 5 6})

for seed in "${seeds[@]}"; do
  # Sizes vary with the seed: 120..200 offspring, 10..12 loci.
  offspring=$((120 + (seed * 37) % 81))
  loci=$((10 + seed % 3))
  families=$((offspring / 8))
  dir="$work/s$seed"
  mkdir -p "$dir"
  python3 "$root/tools/simulate.py" --seed "$seed" --offspring "$offspring" --families "$families" \
    --loci "$loci" --alleles 10 --sampled 0.8 --extra 5 --out "$dir/s" >/dev/null || exit 1
  start=$(date +%s.%N)
  (cd "$dir" && "$pedkin" IFN:s.dat ${EXTRA:-} >run.log 2>&1) || { echo "seed $seed: pedkin failed"; exit 1; }
  end=$(date +%s.%N)
  configs=$(grep -c '^Config#' "$dir/s.ConfigArchive")
  printf 'seed %d: %d offspring, %d loci, %d archived configurations, %.1f s\n' \
    "$seed" "$offspring" "$loci" "$configs" "$(echo "$end - $start" | bc)"
done

python3 - "$work" "${seeds[@]}" <<'EOF'
import os
import sys

work, seeds = sys.argv[1], sys.argv[2:]
bins = [(0.001, 0.5), (0.5, 0.8), (0.8, 0.95), (0.95, 1.0001)]
tally = {kind: [[0, 0] for _ in bins] for kind in ("full-sib pairs", "top father", "top mother")}


def add(kind, p, true):
    for k, (lo, hi) in enumerate(bins):
        if lo <= p < hi:
            tally[kind][k][0] += 1
            tally[kind][k][1] += 1 if true else 0


for seed in seeds:
    d = os.path.join(work, "s" + seed)
    truth = {}
    for line in open(os.path.join(d, "s.truth")):
        off, dad, mum = line.split()
        truth[off] = (dad, mum)
    with open(os.path.join(d, "s.FullSibDyad")) as f:
        next(f)
        for line in f:
            a, b, p = line.strip().split(",")
            add("full-sib pairs", float(p), truth[a] == truth[b])
    for suffix, side, kind in ((".Paternity", 0, "top father"), (".Maternity", 1, "top mother")):
        with open(os.path.join(d, "s" + suffix)) as f:
            next(f)
            for line in f:
                fields = line.strip().split(",")
                add(kind, float(fields[2]), truth[fields[0]][side] == fields[1])

print()
print("%-16s %-12s %8s %10s" % ("items", "probability", "listed", "true share"))
for kind, rows in tally.items():
    for (lo, hi), (n, t) in zip(bins, rows):
        share = "%.3f" % (t / n) if n else "-"
        print("%-16s %-12s %8d %10s" % (kind, "%.3f-%.2f" % (lo, min(hi, 1.0)), n, share))
EOF
