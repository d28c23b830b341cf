#!/usr/bin/env bash
source "$(dirname "$0")/common.sh"
#!/usr/bin/env bash
# One process: a missing project stops with its message; a success removes a stale error file; a
# rerun takes up the saved search and a damaged checkpoint means a fresh start; the output name is
# locked while in use and never names the project file; a failed run leaves no result files.
source "$(dirname "$0")/common.sh"

"$pedkin" IFN:missing.dat > out.txt 2>&1
status=$?
[ "$status" != 0 ] || fail "missing project gave status 0"
grep -q "Input file missing.dat does not exist!" Pedkin2.ErrorMessage ||
  { echo "FAIL: no message"; cat Pedkin2.ErrorMessage; exit 1; }

mkdir a_directory
"$pedkin" IFN:a_directory > out.txt 2>&1 && fail "a directory was read"

cp "$source_dir/tests/driver/small_project.dat" project.dat
"$pedkin" IFN:project.dat > out.txt 2>&1
status=$?
[ "$status" = 0 ] || { echo "FAIL: example run gave status $status"; cat out.txt; exit 1; }
[ ! -e Pedkin2.ErrorMessage ] || fail "stale error file left"
grep -q "^Output to file : " out.txt || { echo "FAIL: no final line"; cat out.txt; exit 1; }
[ -s small.MidResult ] || fail "no progress log"
head -1 small.MidResult | grep -q "^ Date     Time Run Tmr    NumIterate" || fail "progress log header"

[ ! -e small.Lock ] || fail "lock left after the run"

# The effective size closes every run (its layout is checked by the unit tests).
[ "$(wc -l < small.Ne)" = 21 ] || { echo "FAIL: .Ne layout"; cat small.Ne; exit 1; }

# A second execution of the unchanged project takes up the saved search,
# which had finished: the same result, without searching again.
cp small.BestConfig first.BestConfig
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: resumed run stopped"; cat again.txt; exit 1; }
cmp -s small.BestConfig first.BestConfig || fail "resumed run gave another result"
# A damaged checkpoint is not trusted: the search starts afresh.
echo "garbage" > small.MidResult2
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: run after damaged checkpoint"; cat again.txt; exit 1; }
cmp -s small.BestConfig first.BestConfig || fail "fresh run gave another result"

# Another run on the same output name: refused while its process lives,
# taken over when it is gone; the results stay as they were.
sleep 60 & holder=$!
echo "$holder $(hostname)" > small.Lock
"$pedkin" IFN:project.dat > again.txt 2>&1 && fail "second run on a name in use"
grep -q "^Output name small is in use by another run (process $holder" Pedkin2.ErrorMessage ||
  { echo "FAIL: in-use message"; cat Pedkin2.ErrorMessage; exit 1; }
cmp -s small.BestConfig first.BestConfig || fail "refused run touched the results"
kill $holder; wait $holder 2>/dev/null
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: stale lock not taken over"; cat again.txt; exit 1; }

# A project file that an output name would write over is refused before
# anything is written, whatever path or link names it.
cp project.dat small.data
ln project.dat linked.BestCluster
for args in "IFN:small.data OFN:small" "IFN:./project.dat OFN:linked"; do
  rm -f Pedkin2.ErrorMessage
  before="$(ls | sort)"
  "$pedkin" $args > again.txt 2>&1 && fail "$args overwrote the project"
  grep -q "would overwrite the project file" Pedkin2.ErrorMessage || fail "$args message"
  cmp -s small.data project.dat || fail "$args changed the project"
  [ "$(ls | grep -v '^Pedkin2.ErrorMessage$' | sort)" = "$before" ] || fail "$args wrote files"
done

# A failed run leaves nothing that looks like a result: neither a partial
# set (a result file that cannot be written) nor an earlier run's results
# beside its error message.
rm -f small.BestConfig && mkdir small.BestConfig && touch small.BestConfig/keep
echo "# edited" >> project.dat
"$pedkin" IFN:project.dat > again.txt 2>&1 && fail "unwritable result reported success"
grep -q "small.BestConfig" Pedkin2.ErrorMessage || { echo "FAIL: write failure message"; cat Pedkin2.ErrorMessage; exit 1; }
for f in small.BestCluster small.BestFSFamily small.BestConfig_Ordered small.Lock; do
  [ ! -e "$f" ] || fail "$f left by a failed run"
done
rm -rf small.BestConfig
"$pedkin" IFN:project.dat > again.txt 2>&1 || fail "rerun"
sed -i '3s/^12 /12x /' project.dat
"$pedkin" IFN:project.dat > again.txt 2>&1 && fail "damaged project ran"
ls small.Best* > /dev/null 2>&1 && fail "stale results beside the error message"
echo "end-to-end runs passed"
