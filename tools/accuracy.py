#!/usr/bin/env python3
"""Compares an inferred configuration (<out>.BestConfig) with the true
pedigree written by simulate.py (<out>.truth): the share of offspring pairs
whose relationship (full sibs, half sibs, unrelated) is inferred correctly.
Given the candidate list (<out>.candidates) as well, it also scores
parentage: of the offspring whose true parent was sampled, how many are
assigned it, and how many offspring are assigned a wrong candidate.

  tools/accuracy.py sample.BestConfig sample.truth [sample.candidates]
"""

import sys


def relation(a, b):
    same_father = a[0] == b[0] and not a[0].endswith("-")
    same_mother = a[1] == b[1]
    if same_father and same_mother:
        return "FS"
    if same_father or same_mother:
        return "HS"
    return "U"


def read_config(path):
    parents = {}
    with open(path) as f:
        next(f)
        for line in f:
            fields = line.split()
            if len(fields) >= 3:
                parents[fields[0]] = (fields[1], fields[2])
    return parents


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__)
    inferred = read_config(argv[0])
    truth = {}
    with open(argv[1]) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 3:
                truth[fields[0]] = (fields[1], fields[2])
    ids = sorted(truth)
    missing = [i for i in ids if i not in inferred]
    if missing:
        sys.exit(f"offspring missing from the configuration: {missing[:5]}")
    total = right = 0
    for x in range(len(ids)):
        for y in range(x + 1, len(ids)):
            a, b = ids[x], ids[y]
            total += 1
            right += relation(inferred[a], inferred[b]) == relation(truth[a], truth[b])
    print(f"{right} of {total} pairs right ({100.0 * right / max(total, 1):.2f}%)")
    if len(argv) == 3:
        score_parentage(inferred, truth, argv[2])
    return right / max(total, 1)


def score_parentage(inferred, truth, path):
    sampled = {1: set(), 2: set()}
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 2:
                sampled[int(fields[0])].add(fields[1])
    found = eligible = wrong = slots = 0
    for i in truth:
        for s in (1, 2):
            true, got = truth[i][s - 1], inferred[i][s - 1]
            slots += 1
            if true in sampled[s]:
                eligible += 1
                found += got == true
            if got in sampled[s] and got != true:
                wrong += 1
    print(f"{found} of {eligible} sampled parents assigned ({100.0 * found / max(eligible, 1):.2f}%), "
          f"{wrong} of {slots} wrong candidates ({100.0 * wrong / max(slots, 1):.2f}%)")


if __name__ == "__main__":
    main(sys.argv[1:])
