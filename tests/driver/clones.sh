#!/usr/bin/env bash
# Runs the whole program with clone inference on a simulated sample in which
# some offspring were sampled a second time (typed again, with mistyped loci,
# under a new id), once with one process and once with two. Every copy must
# share its clone group with the offspring it copies, no other two offspring
# may share one, and both runs must write the same clone files.
#   clones.sh <pedkin> <source dir> <simulate.py options...>
set -u
pedkin="$1"
source_dir="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$source_dir/tools/simulate.py" --out sample "$@" || { echo "FAIL: simulation"; exit 1; }
mkdir one two
cp sample.dat one/
cp sample.dat two/
(cd one && "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin stopped"; cat one/run.log; exit 1; }
grep -q "Inferring clones..." one/run.log || { echo "FAIL: no clone inference shown"; exit 1; }
launch="mpirun -np 2"
[ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
(cd two && $launch "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin stopped under mpirun"; cat two/run.log; exit 1; }
for suffix in BestClone BestConfig OffGenotype; do
  cmp "one/sample.$suffix" "two/sample.$suffix" || { echo "FAIL: .$suffix differs with two processes"; exit 1; }
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
