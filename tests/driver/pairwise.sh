#!/usr/bin/env bash
# pairwise.sh <pedkin> <source dir> <method 0 or 2> <simulate.py options...>: the pairwise files
# carry their headers, confidences are 50%, 55%, ..., 100%, 95% of sampled true parents are found,
# two processes give the same rows and checkpoint as one; a rerun takes the stage as done from its
# checkpoint, a damaged checkpoint has it done again.
source "$(dirname "$0")/common.sh"
method="$3"
shift 3
simulate --out sample --method "$method" "$@"

mkdir one two
for dir in one two; do
  cp sample.dat sample.truth sample.candidates "$dir/"
done
run_pedkin one sample.dat
run_pedkin two sample.dat 2
grep -q "Estimating sibship with pairwise approach..." one/run.log || fail "no pairwise stage"

python3 - "$work" <<'EOF' || exit 1
import os, re, sys
work = sys.argv[1]
def lines(d, suffix):
    path = os.path.join(work, d, "sample" + suffix)
    if not os.path.exists(path):
        sys.exit(f"FAIL: {d}: no sample{suffix}")
    return open(path).read().splitlines()
heads = {".PairwiseFullSibDyad": "OffspringID1,OffspringID2", ".PairwiseHalfSibDyad": "OffspringID1,OffspringID2",
         ".PairwisePaternity": "OffspringID,CandidateID,Confidence",
         ".PairwiseMaternity": "OffspringID,CandidateID,Confidence"}
for d in ("one", "two"):
    for suffix, head in heads.items():
        if lines(d, suffix)[0] != head:
            sys.exit(f"FAIL: {d}: header of {suffix}: {lines(d, suffix)[0]!r}")
    for name in os.listdir(os.path.join(work, d)):
        if re.search(r"\.Pairwise\w+\d$", name):
            sys.exit(f"FAIL: {d}: part file {name} left")
    checkpoint = lines(d, ".MidResult6")
    if len(checkpoint) != 1 or len(checkpoint[0]) != 90 or len(checkpoint[0].split()) != 5:
        sys.exit(f"FAIL: {d}: checkpoint {checkpoint!r}")
# The same rows (as sets) from one and two processes, and the same start
# temperature and priors to the last digit: the pair tables do not depend
# on the number of processes.
if lines("one", ".MidResult6") != lines("two", ".MidResult6"):
    sys.exit(f"FAIL: checkpoints differ: {lines('one', '.MidResult6')} {lines('two', '.MidResult6')}")
for suffix in (".FSDyadLogL", ".HSDyadLogL", ".DadDyadLogL", ".MumDyadLogL"):
    a, b = (open(os.path.join(work, d, "sample" + suffix), "rb").read() for d in ("one", "two"))
    if a != b:
        sys.exit(f"FAIL: the pair table {suffix} differs between one and two processes")
for suffix in list(heads) + [".PairCluster"]:
    a, b = sorted(lines("one", suffix)), sorted(lines("two", suffix))
    if a != b:
        sys.exit(f"FAIL: {suffix} differs between one and two processes: {sorted(set(a) ^ set(b))[:4]}")
truth = {}
for line in open(os.path.join(work, "sample.truth")):
    f = line.split()
    truth[f[0]] = (f[1], f[2])
sampled = {1: set(), 2: set()}
for line in open(os.path.join(work, "sample.candidates")):
    s, c = line.split()
    sampled[int(s)].add(c)
levels = {f"{p}%" for p in range(50, 101, 5)}
eligible = found = wrong = 0
for s, suffix in ((1, ".PairwisePaternity"), (2, ".PairwiseMaternity")):
    got = {}
    for row in lines("one", suffix)[1:]:
        o, c, p = row.split(",")
        if p not in levels:
            sys.exit(f"FAIL: confidence {p!r} in {row!r}")
        got[o] = c
    for o, parents in truth.items():
        if parents[s - 1] in sampled[s]:
            eligible += 1
            found += got.get(o) == parents[s - 1]
        wrong += o in got and got[o] != parents[s - 1]
share = 100.0 * found / max(eligible, 1)
print(f"{found} of {eligible} sampled parents found ({share:.2f}%), {wrong} wrong candidates of {2 * len(truth)} slots")
if share < 95.0:
    sys.exit("FAIL: fewer than 95% of the sampled parents found")
EOF

# A rerun of the unchanged project finds the stage done; a damaged
# checkpoint has it done again, with the same result.
cp one/sample.PairwisePaternity paternity.first
run_pedkin one sample.dat
grep -q "Estimating sibship with pairwise approach..." one/run.log && fail "stage repeated"
cmp -s paternity.first one/sample.PairwisePaternity || fail "rerun changed the parentage"
echo "   1.0E+00 garbage" > one/sample.MidResult6
run_pedkin one sample.dat
grep -q "Estimating sibship with pairwise approach..." one/run.log || fail "damaged checkpoint trusted"
cmp -s paternity.first one/sample.PairwisePaternity || fail "stage done again differs"
[ "$(wc -w < one/sample.MidResult6)" = 5 ] || fail "checkpoint not rewritten"
echo "pairwise method $method: PASS"
