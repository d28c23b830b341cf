#!/usr/bin/env bash
# Whole-program runs of one process: a missing project file stops with its
# message and a non-zero status; a stale error file from an earlier failed
# execution is removed by a successful one; a rerun takes up the saved
# search, and a damaged checkpoint means a fresh start; the output name is
# locked while a run uses it, never names the project file, and a failed run
# leaves no result files.
set -u
pedkin="$1"
source_dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

"$pedkin" IFN:missing.dat > out.txt 2>&1
status=$?
[ "$status" != 0 ] || { echo "FAIL: missing project gave status 0"; exit 1; }
grep -q "Input file missing.dat does not exist!" Pedkin2.ErrorMessage ||
  { echo "FAIL: no message"; cat Pedkin2.ErrorMessage; exit 1; }

mkdir a_directory
"$pedkin" IFN:a_directory > out.txt 2>&1 && { echo "FAIL: a directory was read"; exit 1; }

cp "$source_dir/tests/driver/small_project.dat" project.dat
"$pedkin" IFN:project.dat > out.txt 2>&1
status=$?
[ "$status" = 0 ] || { echo "FAIL: example run gave status $status"; cat out.txt; exit 1; }
[ ! -e Pedkin2.ErrorMessage ] || { echo "FAIL: stale error file left"; exit 1; }
grep -q "^Output to file : " out.txt || { echo "FAIL: no final line"; cat out.txt; exit 1; }
[ -s small.MidResult ] || { echo "FAIL: no progress log"; exit 1; }
head -1 small.MidResult | grep -q "^ Date     Time Run Tmr    NumIterate" || { echo "FAIL: progress log header"; exit 1; }

[ ! -e small.Lock ] || { echo "FAIL: lock left after the run"; exit 1; }

# The effective size closes every run: two sibship blocks and the
# heterozygote-excess block, each under its heading.
[ -s small.Ne ] || { echo "FAIL: no .Ne file"; exit 1; }
[ "$(grep -c '^Estimates by Pedkin .* method : Assuming \(random\|nonrandom\) mating *$' small.Ne)" = 2 ] &&
  grep -q '^Estimates by heterozygote excess method *$' small.Ne &&
  [ "$(grep -c '^Ne      = *[0-9][0-9]*$' small.Ne)" = 2 ] && grep -q '^Ne(Het) = *[0-9][0-9]*$' small.Ne &&
  [ "$(wc -l < small.Ne)" = 21 ] || { echo "FAIL: .Ne layout"; cat small.Ne; exit 1; }

# A second execution of the unchanged project takes up the saved search,
# which had finished: the same result, without searching again.
cp small.BestConfig first.BestConfig
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: resumed run stopped"; cat again.txt; exit 1; }
cmp -s small.BestConfig first.BestConfig || { echo "FAIL: resumed run gave another result"; exit 1; }
# A damaged checkpoint is not trusted: the search starts afresh.
echo "garbage" > small.MidResult2
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: run after damaged checkpoint"; cat again.txt; exit 1; }
cmp -s small.BestConfig first.BestConfig || { echo "FAIL: fresh run gave another result"; exit 1; }

# Another run on the same output name: refused while its process lives,
# taken over when it is gone; the results stay as they were.
sleep 60 & holder=$!
echo "$holder $(hostname)" > small.Lock
"$pedkin" IFN:project.dat > again.txt 2>&1 && { echo "FAIL: second run on a name in use"; exit 1; }
grep -q "^Output name small is in use by another run (process $holder" Pedkin2.ErrorMessage ||
  { echo "FAIL: in-use message"; cat Pedkin2.ErrorMessage; exit 1; }
cmp -s small.BestConfig first.BestConfig || { echo "FAIL: refused run touched the results"; exit 1; }
kill $holder; wait $holder 2>/dev/null
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: stale lock not taken over"; cat again.txt; exit 1; }

# A project file that an output name would write over is refused before
# anything is written, whatever path or link names it.
cp project.dat small.data
ln project.dat linked.BestCluster
for args in "IFN:small.data OFN:small" "IFN:./project.dat OFN:linked"; do
  rm -f Pedkin2.ErrorMessage
  before="$(ls | sort)"
  "$pedkin" $args > again.txt 2>&1 && { echo "FAIL: $args overwrote the project"; exit 1; }
  grep -q "would overwrite the project file" Pedkin2.ErrorMessage || { echo "FAIL: $args message"; exit 1; }
  cmp -s small.data project.dat || { echo "FAIL: $args changed the project"; exit 1; }
  [ "$(ls | grep -v '^Pedkin2.ErrorMessage$' | sort)" = "$before" ] || { echo "FAIL: $args wrote files"; exit 1; }
done

# A failed run leaves nothing that looks like a result: neither a partial
# set (a result file that cannot be written) nor an earlier run's results
# beside its error message.
rm -f small.BestConfig && mkdir small.BestConfig && touch small.BestConfig/keep
echo "# edited" >> project.dat
"$pedkin" IFN:project.dat > again.txt 2>&1 && { echo "FAIL: unwritable result reported success"; exit 1; }
grep -q "small.BestConfig" Pedkin2.ErrorMessage || { echo "FAIL: write failure message"; cat Pedkin2.ErrorMessage; exit 1; }
for f in small.BestCluster small.BestFSFamily small.BestConfig_Ordered small.Lock; do
  [ ! -e "$f" ] || { echo "FAIL: $f left by a failed run"; exit 1; }
done
rm -rf small.BestConfig
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: rerun"; exit 1; }
sed -i '3s/^12 /12x /' project.dat
"$pedkin" IFN:project.dat > again.txt 2>&1 && { echo "FAIL: damaged project ran"; exit 1; }
ls small.Best* > /dev/null 2>&1 && { echo "FAIL: stale results beside the error message"; exit 1; }
echo "end-to-end runs passed"
