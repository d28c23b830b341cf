#!/usr/bin/env bash
# killed_runs.sh <pedkin> <source dir> <kill_at_rename library>: a run killed with SIGKILL at each
# chosen moment (the preloaded library kills at the rename of a chosen file) is run again and must end
# with every result file of an uninterrupted run, no lock or temporary file, and a best log likelihood
# within 0.01 of it; a finished project run again does not search again.
source "$(dirname "$0")/common.sh"
killer="$3"
all_results="BestConfig BestConfig_Ordered BestCluster BestFSFamily ConfigArchive ParentPair Distribution
  FullSibDyad HalfSibDyad FSDyadUF HSDyadUF Paternity Maternity AlleleFreq ErrorRate Ne PairwiseFullSibDyad
  PairwiseHalfSibDyad PairwisePaternity PairwiseMaternity Pedigree.csv"

# Simulates a sample into the folder $1 and analyses it without
# interruption: its best log likelihood and result files are the reference.
reference=""
results=""
uninterrupted() {
  local folder="$1"
  shift
  mkdir "$folder" && cd "$folder"
  simulate --out sample "$@" > /dev/null
  mkdir clean && cp sample.dat clean/
  (cd clean && "$pedkin" IFN:sample.dat > screen.log 2>&1) || { cat clean/screen.log; fail "uninterrupted run stopped"; }
  reference="$(best clean/screen.log)"
  [ -n "$reference" ] || fail "no best log likelihood in the uninterrupted run"
  results=""
  for s in $all_results; do [ -s "clean/sample.$s" ] && results="$results $s"; done
  echo "$folder, uninterrupted: best log likelihood $reference"
}

# Checks the rerun in the current directory after a killed run ($launch
# starts the processes: empty for one). With a second argument, the killed
# run had saved its search: the rerun must take it up, not start afresh.
launch=()
rerun() {
  local moment="$1" saved="${2:-}"
  "${launch[@]}" "$pedkin" IFN:sample.dat > rerun.log 2>&1
  local status=$?
  [ "$status" = 0 ] || { tail -c 2000 rerun.log; fail "$moment: rerun stopped with status $status"; }
  if [ -n "$saved" ]; then
    tr '\r' '\n' < rerun.log | grep -q "^Resuming run $saved from its saved search" ||
      fail "$moment: rerun did not take up the saved search of run $saved"
  fi
  for s in $results; do [ -s "sample.$s" ] || fail "$moment: rerun left no .$s"; done
  [ ! -e sample.Lock ] || fail "$moment: rerun left its lock"
  [ ! -e Pedkin2.ErrorMessage ] || fail "$moment: rerun left an error file"
  # A half-written temporary file of the killed run is not left behind.
  local left
  left="$(ls | grep '\.tmp[0-9]*$')" && fail "$moment: temporary files left: $left"
  local found
  found="$(best rerun.log)"
  [ -n "$found" ] || { tail -c 2000 rerun.log; fail "$moment: rerun shows no best log likelihood"; }
  awk -v f="$found" -v r="$reference" 'BEGIN { exit !(f >= r - 0.01) }' ||
    fail "$moment: rerun reached $found, uninterrupted $reference"
  echo "  $moment: rerun reached $found"
}

# Kills a run at the rename of a file ending in $2 (the $3-th one), then
# reruns; $4: the run whose saved search the rerun must take up.
killed_at_rename() {
  local moment="$1" suffix="$2" count="${3:-1}" saved="${4:-}"
  rm -rf run && mkdir run && cp sample.dat run/ && cd run
  # (The shell's own notice of the killed process is not wanted.)
  { (LD_PRELOAD="$killer" PEDKIN_KILL_AT_RENAME="$suffix" PEDKIN_KILL_AT_COUNT="$count" \
    exec "$pedkin" IFN:sample.dat > killed.log 2>&1); } 2> /dev/null
  local status=$?
  [ "$status" = 137 ] || { tail -c 1000 killed.log; fail "$moment: the run was not killed (status $status)"; }
  rerun "$moment" "$saved"
  cd ..
}

# A finished project (the one in the current directory) run again: nothing
# left to search, the same results.
finished_again() {
  mkdir before && cp -p sample.Best* sample.ConfigArchive sample.*Dyad sample.Paternity sample.Ne before/
  local start took
  start=$(date +%s.%N)
  "$pedkin" IFN:sample.dat > again.log 2>&1 || fail "finished project: rerun stopped"
  took=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
  tr '\r' '\n' < again.log | grep -q 'Tmr ' && fail "finished project: searched again"
  for f in before/*; do
    cmp -s "$f" "${f#before/}" || fail "finished project: ${f#before/} differs"
  done
  echo "  finished project run again in $took s, the same result files"
}

uninterrupted full --seed 3 --offspring 200 --families 25 --loci 12 --alleles 10 --sampled 0.8 --extra 5 --length 1
killed_at_rename "pair tables" .HSDyadLogL
killed_at_rename "search state checkpoint" .MidResult2
killed_at_rename "archive checkpoint" .MidResult3 1 1
killed_at_rename "last result file" .Ne 1 1

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
wait "$pid" 2> /dev/null
[ $? = 137 ] || fail "early search: the run ended before it was killed"
rerun "early search"

finished_again
cd "$work"

uninterrupted guided --seed 7 --offspring 120 --families 15 --loci 10 --alleles 8 --sampled 0.8 --extra 5 \
  --length 0 --runs 2 --method 2
killed_at_rename "pairwise stage checkpoint" .MidResult6
killed_at_rename "pair clusters" .PairCluster
killed_at_rename "candidate short lists" .BestPrntCND
killed_at_rename "first run's checkpoint" .MidResult2 1
killed_at_rename "first run's archive copy" .MidResult3.Run1 1 1
killed_at_rename "second run's checkpoint" .MidResult2 2 1
killed_at_rename "best run's archive restored" .MidResult3 3 2
killed_at_rename "first result file" .BestConfig 1 2
(cd run && finished_again)

# Two processes killed while one of them merges the per-process parts of
# the pairwise result files; the other goes on meanwhile.
launcher 2
moment="merge of two processes' files"
rm -rf run && mkdir run && cp sample.dat run/ && cd run
"${launch[@]}" -x LD_PRELOAD="$killer" -x PEDKIN_KILL_AT_RENAME=.PairwiseFullSibDyad "$pedkin" IFN:sample.dat \
  > killed.log 2>&1 && fail "$moment: the run was not killed"
[ ! -e sample.PairwiseFullSibDyad ] || fail "$moment: killed after the merge"
# The killed job's processes end shortly after mpirun does.
pid="$(cut -d' ' -f1 sample.Lock 2> /dev/null)"
for _ in $(seq 1 100); do
  state="$(ps -o stat= -p "${pid:-0}" 2> /dev/null)"
  [ -z "$state" ] || [ "${state#Z}" != "$state" ] && break
  sleep 0.1
done
rerun "$moment"
