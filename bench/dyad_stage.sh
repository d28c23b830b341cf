#!/usr/bin/env bash
# Time and memory of the pair stage (offspring pair tables, candidate-offspring
# tables and the candidates' short lists) on simulated samples of 1000
# offspring in 125 full-sib families with 200 candidates of each sex (all 84
# true parents of a sex and 116 unrelated ones), at 20 microsatellites of 10
# alleles and at 500 SNPs, with one and with two processes.
#
#   bench/dyad_stage.sh [path of the dyad_stage program] [work directory]
#
# Prints one row per data set, process count and process: user CPU and wall
# seconds of the whole likelihood set-up and of the stage's two parts run
# again by themselves, and the peak resident memory (MB) after the data are
# prepared, after the set-up and at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
program="${1:-$here/../build/bench/dyad_stage}"
if [ -n "${2:-}" ]; then
  work="$2"
  mkdir -p "$work"
else
  # A scratch folder of its own, removed at the end.
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"

mpi=(--oversubscribe)
[ "$(id -u)" = 0 ] && mpi+=(--allow-run-as-root)
export OMPI_MCA_btl_vader_single_copy_mechanism=none

common=(--seed 1 --offspring 1000 --families 125 --sampled 1 --extra 116)
python3 "$here/../tools/simulate.py" "${common[@]}" --loci 20 --alleles 10 --out "$work/msat" >/dev/null
python3 "$here/../tools/simulate.py" "${common[@]}" --loci 500 --alleles 2 --out "$work/snp" >/dev/null

printf '%-22s %2s %4s | %9s %9s | %9s %9s | %9s %9s | %8s %8s %8s\n' \
  "data" "np" "rank" "setup cpu" "wall" "sib cpu" "wall" "cand cpu" "wall" "MB data" "MB setup" "MB end"
for data in msat snp; do
  label="1000x200x20 msat"
  [ "$data" = snp ] && label="1000x200x500 SNP"
  for np in 1 2; do
    if [ "$np" = 1 ]; then
      out="$("$program" "$data.dat")"
    else
      out="$(mpirun "${mpi[@]}" -np "$np" "$program" "$data.dat")"
    fi
    echo "$out" | awk -v d="$label" -v np="$np" '
      /^ *[0-9]+ +[0-9.]+ +[0-9.]+ +[0-9.]+/ {
        printf "%-22s %2s %4s | %9s %9s | %9s %9s | %9s %9s | %8s %8s %8s\n", d, np, $1, $2, $3, $4, $5, $6, $7, $8, $9, $10
      }
      /^checksum/ { sums = sums "    " $0 "\n" }
      END { printf "%s", sums }'
  done
done
