#!/usr/bin/env bash
# Killed runs come back. A simulated sample is analysed once without
# interruption; then, for each of several moments, a run is killed with
# SIGKILL at that moment and the project is run again: the rerun must end
# with status 0, the whole set of result files and a best log likelihood no
# lower than the uninterrupted run's less 0.01. The moments: while the pair
# tables are written, early in the search, while each checkpoint file of the
# search is written, and while the result files are written (first, middle
# and last). A finished project run again must not search again: it is
# quick and leaves the same result files.
#   killed_runs.sh <pedkin> <source dir> <kill_at_rename library>
set -u
pedkin="$1"
source_dir="$2"
killer="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --seed 3 --out sample --offspring 200 --families 25 --loci 12 \
  --alleles 10 --sampled 0.8 --extra 5 --length 1 > /dev/null || { echo "FAIL: simulation"; exit 1; }
results="BestConfig BestConfig_Ordered BestCluster BestFSFamily ConfigArchive ParentPair Distribution
  FullSibDyad HalfSibDyad FSDyadUF HSDyadUF Paternity Maternity AlleleFreq ErrorRate Ne"
best() { tr '\r' '\n' < "$1" | sed -n 's/.*best log likelihood \(-*[0-9.]*\).*/\1/p' | sort -g | tail -1; }
fail() { echo "FAIL: $*"; exit 1; }

mkdir clean && cp sample.dat clean/
(cd clean && "$pedkin" IFN:sample.dat > screen.log 2>&1) || { cat clean/screen.log; fail "uninterrupted run stopped"; }
reference="$(best clean/screen.log)"
[ -n "$reference" ] || fail "no best log likelihood in the uninterrupted run"
for s in $results; do [ -s "clean/sample.$s" ] || fail "uninterrupted run wrote no .$s"; done
echo "uninterrupted: best log likelihood $reference"

# Checks the rerun in the current directory after a killed run.
rerun() {
  local moment="$1"
  "$pedkin" IFN:sample.dat > rerun.log 2>&1 || { tail -c 2000 rerun.log; fail "$moment: rerun stopped with $?"; }
  for s in $results; do [ -s "sample.$s" ] || fail "$moment: rerun left no .$s"; done
  [ ! -e sample.Lock ] || fail "$moment: rerun left its lock"
  # A half-written temporary file of the killed run is not left behind.
  local left
  left="$(ls | grep '\.tmp[0-9]*$')" && fail "$moment: temporary files left: $left"
  [ ! -e Pedkin2.ErrorMessage ] || fail "$moment: rerun left an error file"
  local found
  found="$(best rerun.log)"
  [ -n "$found" ] || { tail -c 2000 rerun.log; fail "$moment: rerun shows no best log likelihood"; }
  awk -v f="$found" -v r="$reference" 'BEGIN { exit !(f >= r - 0.01) }' ||
    fail "$moment: rerun reached $found, uninterrupted $reference"
  echo "$moment: rerun reached $found"
}

# Kills a run at the rename of a file ending in $2 (the $3-th one), then
# reruns.
killed_at_rename() {
  local moment="$1" suffix="$2" count="${3:-1}"
  rm -rf run && mkdir run && cp sample.dat run/ && cd run
  LD_PRELOAD="$killer" PEDKIN_KILL_AT_RENAME="$suffix" PEDKIN_KILL_AT_COUNT="$count" \
    "$pedkin" IFN:sample.dat > killed.log 2>&1
  local status=$?
  [ "$status" = 137 ] || { tail -c 1000 killed.log; fail "$moment: the run was not killed (status $status)"; }
  rerun "$moment"
  cd ..
}

killed_at_rename "pair tables" .HSDyadLogL
killed_at_rename "candidate short lists" .BestPrntCND
killed_at_rename "search state checkpoint" .MidResult2
killed_at_rename "archive checkpoint" .MidResult3
killed_at_rename "first result file" .BestConfig
killed_at_rename "result file in the middle" .ConfigArchive
killed_at_rename "last result file" .Ne

# Early in the search: killed from outside once the screen shows the first
# temperature.
rm -rf run && mkdir run && cp sample.dat run/ && cd run
"$pedkin" IFN:sample.dat > killed.log 2>&1 &
pid=$!
for _ in $(seq 1 600); do
  grep -q 'Tmr 1/' killed.log 2> /dev/null && break
  sleep 0.02
done
grep -q 'Tmr 1/' killed.log || { kill -9 "$pid"; fail "early search: the search never started"; }
kill -9 "$pid"
wait "$pid"
[ $? = 137 ] || fail "early search: the run ended before it was killed"
rerun "early search"

# A finished project run again: nothing left to search, the same results.
cp -p sample.BestConfig sample.ConfigArchive sample.BestCluster ../
start=$(date +%s.%N)
"$pedkin" IFN:sample.dat > again.log 2>&1 || fail "finished project: rerun stopped"
took=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
tr '\r' '\n' < again.log | grep -q 'Tmr ' && fail "finished project: searched again"
for s in BestConfig ConfigArchive BestCluster; do
  cmp -s "sample.$s" "../sample.$s" || fail "finished project: .$s differs"
done
echo "finished project run again in $took s, the same result files"
