#!/usr/bin/env python3
"""Share of the missing offspring genotypes that the genotype inference got
right: for every offspring and locus left untyped in a simulated project
file, whether the most probable genotype of <output>.OffGenotype is the true
one of <sample>.genotypes (written by simulate.py --genotypes).

Usage: genotype_accuracy.py <sample prefix> <output name>
Prints "missing N right K share S ceiling C": C is the share that knowing
the true parents' genotypes would give (the most likely genotype of the
parents' Mendelian segregation, ties shared), the best any inference can
reach on these offspring."""
import sys


def main(argv):
    sample, output = argv
    truth = {}
    with open(sample + ".genotypes") as f:
        for line in f:
            items = line.split()
            truth[items[0]] = [tuple(sorted(items[1 + 2 * l:3 + 2 * l])) for l in range((len(items) - 1) // 2)]
    inferred = {}
    with open(output + ".OffGenotype") as f:
        header = f.readline().strip().split(",")
        est = header.index("Est1-Allele1")
        for line in f:
            items = line.rstrip("\n").split(",")
            inferred.setdefault(items[0], []).append(tuple(sorted(items[est:est + 2])))
    missing = right = 0
    parents = {}
    with open(sample + ".truth") as f:
        for line in f:
            oid, dad, mum = line.split()[:3]
            parents[oid] = (dad, mum)
    ceiling = 0.0
    # Untyped offspring loci are those written as 0 0 in the project file.
    with open(sample + ".dat") as f:
        for line in f:
            items = line.split()
            if not items or items[0] not in parents or len(items) != 1 + 2 * len(truth[items[0]]):
                continue
            oid = items[0]
            for l in range(len(truth[oid])):
                if items[1 + 2 * l] == "0":
                    missing += 1
                    dad, mum = parents[oid]
                    seg = {}
                    for x in truth[dad][l]:
                        for y in truth[mum][l]:
                            k = tuple(sorted((x, y)))
                            seg[k] = seg.get(k, 0) + 1
                    top = max(seg.values())
                    modes = [k for k, c in seg.items() if c == top]
                    if truth[oid][l] in modes:
                        ceiling += 1.0 / len(modes)
                    if inferred.get(oid) and l < len(inferred[oid]) and inferred[oid][l] == truth[oid][l]:
                        right += 1
    share = right / missing if missing else 1.0
    print(f"missing {missing} right {right} share {share:.4f} ceiling {ceiling / max(missing, 1):.4f}")


if __name__ == "__main__":
    main(sys.argv[1:])
