#!/usr/bin/env bash
# Two processes: a stop on rank 0 aborts the job with a non-zero status and writes the error file
# once; a clean run ends with status 0 and the same configuration as one process.
source "$(dirname "$0")/common.sh"
launcher 2
export OMPI_MCA_rmaps_base_oversubscribe=1

timeout 100 "${launch[@]}" "$pedkin" IFN:no_such_project.dat > out.txt 2>&1
status=$?
if [ "$status" = 0 ] || [ "$status" = 124 ]; then
  echo "FAIL: expected a non-zero status from the stopped job, got $status"; cat out.txt; exit 1
fi
expected="Input file no_such_project.dat does not exist!
Program stopped in subroutine ReadData, dataset = ."
if [ "$(cat Pedkin2.ErrorMessage)" != "$expected" ]; then
  echo "FAIL: error-message file differs:"; cat Pedkin2.ErrorMessage; exit 1
fi
count=$(grep -c "does not exist" out.txt)
if [ "$count" != 1 ]; then
  echo "FAIL: message shown $count times on the screen"; cat out.txt; exit 1
fi
echo "stop on rank 0: status $status, message written once"

# A clean run of two processes ends with status 0 and one final line.
cp "$(dirname "$0")/small_project.dat" project.dat
rm -f Pedkin2.ErrorMessage
timeout 100 "${launch[@]}" "$pedkin" IFN:project.dat > out.txt 2>&1
status=$?
[ "$status" = 0 ] || { echo "FAIL: clean two-process run gave status $status"; cat out.txt; exit 1; }
[ "$(grep -c '^Output to file : ' out.txt)" = 1 ] || { echo "FAIL: final line not shown once"; cat out.txt; exit 1; }
[ ! -e Pedkin2.ErrorMessage ] || fail "error file after a clean run"
echo "clean two-process run: status 0"

# The same seed gives the same configuration with one and with two
# processes.
cp small.BestConfig two.BestConfig
"$pedkin" IFN:project.dat > one.txt 2>&1 || { echo "FAIL: one-process run"; cat one.txt; exit 1; }
cmp -s small.BestConfig two.BestConfig || { echo "FAIL: results differ between 1 and 2 processes"; diff small.BestConfig two.BestConfig; exit 1; }
echo "same best configuration with 1 and 2 processes"
