#!/usr/bin/env bash
# Does the search reach the maximum-likelihood configuration? The simulated
# sample is analysed as it is and with its true paternal and maternal
# sibships given as known; the search must end at least as high as the best
# configuration consistent with the true families, within 0.01.
#   optimum.sh <pedkin> <source dir> <simulate.py options...>
# NP=2 runs the search under mpirun with two processes; with COMPARE=1 it
# also runs it with one process and requires the same result files.
set -u
pedkin="$1"
source_dir="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --out sample --known-reference "$@" > /dev/null || { echo "FAIL: simulation"; exit 1; }
launch=""
if [ "${NP:-1}" -gt 1 ]; then
  launch="mpirun -np $NP"
  [ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
fi
best() { tr '\r' '\n' < "$1" | sed -n 's/.*best log likelihood \(-*[0-9.]*\).*/\1/p' | sort -g | tail -1; }
$launch "$pedkin" IFN:sample.dat > search.log 2>&1 || { echo "FAIL: search stopped"; cat search.log; exit 1; }
"$pedkin" IFN:sample.known.dat > known.log 2>&1 || { echo "FAIL: reference stopped"; cat known.log; exit 1; }
found="$(best search.log)"
truth="$(best known.log)"
echo "search $found, true families $truth"
[ -n "$found" ] && [ -n "$truth" ] || { echo "FAIL: no best log likelihood"; exit 1; }
awk -v f="$found" -v t="$truth" 'BEGIN { exit !(f >= t - 0.01) }' || { echo "FAIL: the search stopped short by $(awk -v f="$found" -v t="$truth" 'BEGIN { print t - f }')"; exit 1; }
if [ "${COMPARE:-0}" = 1 ]; then
  mkdir one && cp sample.dat one/ && cd one
  "$pedkin" IFN:sample.dat > search.log 2>&1 || { echo "FAIL: one-process search stopped"; exit 1; }
  for suffix in BestConfig BestCluster BestFSFamily Pedigree.csv; do
    cmp -s "sample.$suffix" "../sample.$suffix" || { echo "FAIL: .$suffix differs between 1 and ${NP:-1} processes"; exit 1; }
  done
  echo "the same result files with 1 and ${NP:-1} processes"
fi
