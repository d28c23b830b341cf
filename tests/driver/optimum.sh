#!/usr/bin/env bash
# optimum.sh <pedkin> <source dir> <simulate.py options...>: the search ends at least as high (within
# 0.01) as the best configuration consistent with the true sibships given as known. NP=2 searches
# with two processes; COMPARE=1 also with one, requiring the same result files.
source "$(dirname "$0")/common.sh"
shift 2
simulate --out sample --known-reference "$@" > /dev/null
run_pedkin . sample.dat "${NP:-1}"
mv run.log search.log
run_pedkin . sample.known.dat
found="$(best search.log)"
truth="$(best run.log)"
echo "search $found, true families $truth"
[ -n "$found" ] && [ -n "$truth" ] || fail "no best log likelihood"
awk -v f="$found" -v t="$truth" 'BEGIN { exit !(f >= t - 0.01) }' ||
  fail "the search stopped short by $(awk -v f="$found" -v t="$truth" 'BEGIN { print t - f }')"
if [ "${COMPARE:-0}" = 1 ]; then
  mkdir one && cp sample.dat one/
  run_pedkin one sample.dat
  for suffix in BestConfig BestCluster BestFSFamily Pedigree.csv; do
    cmp -s "one/sample.$suffix" "sample.$suffix" || fail ".$suffix differs between 1 and ${NP:-1} processes"
  done
  echo "the same result files with 1 and ${NP:-1} processes"
fi
