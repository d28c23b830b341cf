#!/usr/bin/env bash
# Runs the whole program on a simulated monoecious sample with selfed
# offspring and requires the selfing calls of ".Selfer" and the selfing-rate
# estimate of ".Inbreeding" within the given limits.
#   selfing.sh <pedkin> <source dir> <min % selfed called> <max % outbred called> <max rate error> <simulate.py options...>
# NP=2 runs the program under mpirun with two processes; with COMPARE=1 it
# also runs it with one process and requires the same result files.
set -u
pedkin="$1"
source_dir="$2"
limits=("$3" "$4" "$5")
shift 5
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --out sample --monoecious "$@" || { echo "FAIL: simulation"; exit 1; }
launch=""
if [ "${NP:-1}" -gt 1 ]; then
  launch="mpirun -np $NP"
  [ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
fi
$launch "$pedkin" IFN:sample.dat > run.log 2>&1 || { echo "FAIL: pedkin stopped"; cat run.log; cat Pedkin2.ErrorMessage 2>/dev/null; exit 1; }
cat sample.Inbreeding
python3 "$source_dir/tools/selfing_accuracy.py" sample "${limits[@]}" || exit 1
if [ "${COMPARE:-0}" = 1 ]; then
  mkdir one && cp sample.dat one/ && cd one
  "$pedkin" IFN:sample.dat > run.log 2>&1 || { echo "FAIL: one-process run stopped"; exit 1; }
  for suffix in BestConfig BestCluster BestFSFamily ConfigArchive Selfer Inbreeding; do
    cmp -s "sample.$suffix" "../sample.$suffix" || { echo "FAIL: .$suffix differs between 1 and ${NP:-1} processes"; exit 1; }
  done
  echo "the same result files with 1 and ${NP:-1} processes"
fi
