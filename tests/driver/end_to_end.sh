#!/usr/bin/env bash
# Whole-program runs of one process: a missing project file stops with its
# message and a non-zero status; a stale error file from an earlier failed
# execution is removed by a successful one.
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
echo "end-to-end runs passed"
