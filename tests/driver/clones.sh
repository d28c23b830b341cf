#!/usr/bin/env bash
# clones.sh <pedkin> <source dir> <simulate.py options...>: every offspring sampled twice shares
# its clone group with its copy, no other two offspring share one, and two processes write the
# same clone files as one.
source "$(dirname "$0")/common.sh"
shift 2
simulate --out sample "$@"
mkdir one two
cp sample.dat one/
cp sample.dat two/
run_pedkin one sample.dat
grep -q "Inferring clones..." one/run.log || fail "no clone inference shown"
run_pedkin two sample.dat 2
for suffix in BestClone BestConfig OffGenotype; do
  cmp "one/sample.$suffix" "two/sample.$suffix" || fail ".$suffix differs with two processes"
done
python3 - one/sample.BestConfig one/sample.BestClone sample.clones <<'PY'
import sys
config, clonefile, truth = sys.argv[1:4]
group = {}
with open(config) as f:
    header = f.readline().split()
    if header != ["OffspringID", "FatherID", "MotherID", "CloneIndex", "ClusterIndex"]:
        sys.exit(f"FAIL: header {header}")
    for line in f:
        x = line.split()
        group[x[0]] = x[3]
copies = [line.split() for line in open(truth)]
same = {frozenset(c) for c in copies}
grouped = sum(group[a] == group[b] for a, b in copies)
ids = sorted(group)
wrong = sum(1 for i, a in enumerate(ids) for b in ids[i + 1:]
            if group[a] == group[b] and frozenset((a, b)) not in same)
rows = open(clonefile).read().splitlines()
if len(rows) - 1 != len(set(group.values())):
    sys.exit("FAIL: .BestClone rows are not the clone groups")
print(f"{grouped} of {len(copies)} copies grouped with their originals; {wrong} other pairs grouped")
sys.exit(0 if grouped == len(copies) and wrong == 0 else 1)
PY
