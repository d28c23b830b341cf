#!/usr/bin/env bash
# Searches with the consistency checks on (CKM:1) never stop and find the same best configuration
# as without them, on small dioecious (candidates, sibship prior), monoecious (selfing) and
# haplodiploid (every third offspring a haploid son, candidate fathers haploid) samples.
source "$(dirname "$0")/common.sh"

haplodiploid() {
  python3 - "$1" <<'EOF'
import sys
lines = open(sys.argv[1]).read().split("\n")
lines[8] = "1   ! 0 diploid, 1 haplodiploid"
def haploid(items, keep):
    out = []
    for pair in zip(items[0::2], items[1::2]):
        out += [pair[keep], "-99"] if min(map(int, pair)) > 0 else ["0", "0"]
    return out
k = next(i for i, l in enumerate(lines) if "numbers of candidate fathers" in l)
fathers = int(lines[k].split()[0])
for i, l in enumerate(lines):
    f = l.split()
    if f and f[0].startswith("O0") and int(f[0][1:]) % 3 == 0:
        lines[i] = " ".join([f[0]] + haploid(f[1:], 1))  # the mother's allele
    if k < i <= k + fathers:
        lines[i] = " ".join([f[0]] + haploid(f[1:], 0))
open(sys.argv[1], "w").write("\n".join(lines))
EOF
}

sample() {
  local name="$1" kind="$2"
  shift 2
  mkdir "$name" && cd "$name"
  simulate --out s --offspring 30 --families 5 --loci 6 --alleles 6 --length 0 \
    --error 0.01 --dropout 0.01 --sampled 0.8 --extra 2 "$@" > /dev/null
  case "$kind" in
    selfing) sed -i '8s/^0/1/' s.dat ;;
    haplodiploid) haplodiploid s.dat ;;
  esac
  for level in 1 0; do
    mkdir "ckm$level" && cp s.dat "ckm$level/"
    (cd "ckm$level" && "$pedkin" IFN:s.dat RND:7 CKM:$level > screen.log 2>&1) ||
      { tail -c 1500 "ckm$level/screen.log"; fail "$name: the run with CKM:$level stopped"; }
  done
  cmp -s ckm1/s.BestConfig ckm0/s.BestConfig || fail "$name: the checks changed the best configuration"
  echo "$name: checked run completed, the same best configuration"
  cd ..
}

sample dioecious plain --seed 3 --prior 1
sample monoecious selfing --seed 4 --monoecious
sample haplodiploid haplodiploid --seed 8 --prior 1
