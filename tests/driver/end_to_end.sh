#!/usr/bin/env bash
# Whole-program runs of one process: a missing project file stops with its
# message and a non-zero status; a stale error file from an earlier failed
# execution is removed by a successful one; a rerun takes up the saved
# search, and a damaged checkpoint means a fresh start.
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

# A second execution of the unchanged project takes up the saved search,
# which had finished: the same result, without searching again.
cp small.BestConfig first.BestConfig
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: resumed run stopped"; cat again.txt; exit 1; }
cmp -s small.BestConfig first.BestConfig || { echo "FAIL: resumed run gave another result"; exit 1; }
# A damaged checkpoint is not trusted: the search starts afresh.
echo "garbage" > small.MidResult2
"$pedkin" IFN:project.dat > again.txt 2>&1 || { echo "FAIL: run after damaged checkpoint"; cat again.txt; exit 1; }
cmp -s small.BestConfig first.BestConfig || { echo "FAIL: fresh run gave another result"; exit 1; }
echo "end-to-end runs passed"
