#!/usr/bin/env bash
# selfing.sh <pedkin> <source dir> <min % selfed called> <max % outbred called> <max rate error>
# <simulate.py options...>: the ".Selfer" calls and the ".Inbreeding" selfing rate within the limits.
# NP=2 runs two processes; COMPARE=1 also one, requiring the same result files.
source "$(dirname "$0")/common.sh"
limits=("$3" "$4" "$5")
shift 5
simulate --out sample --monoecious "$@"
run_pedkin . sample.dat "${NP:-1}"
cat sample.Inbreeding
python3 "$source_dir/tools/selfing_accuracy.py" sample "${limits[@]}" || exit 1
if [ "${COMPARE:-0}" = 1 ]; then
  mkdir one && cp sample.dat one/
  run_pedkin one sample.dat
  for suffix in BestConfig BestCluster BestFSFamily ConfigArchive Selfer Inbreeding; do
    cmp -s "one/sample.$suffix" "sample.$suffix" || fail ".$suffix differs between 1 and ${NP:-1} processes"
  done
  echo "the same result files with 1 and ${NP:-1} processes"
fi
