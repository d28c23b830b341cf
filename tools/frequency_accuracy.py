#!/usr/bin/env python3
"""Mean absolute error of the two frequency columns of a ".AlleleFreq" file
(initial: counted in the sample; updated: estimated with the configuration)
against the population frequencies that tools/simulate.py --true-frequencies
wrote. Alleles of the population that the sample lacks count with
frequency 0 in both columns. Also checks that every locus's updated
frequencies sum to 1 (within the rounding of the file).

  frequency_accuracy.py <out>.frequencies <result>.AlleleFreq
prints "initial <mae> updated <mae> loci <n>"; exits 1 on a bad sum.
"""
import sys


def main(truth_name, result_name):
    truth = {}
    for line in open(truth_name):
        locus, name, p = line.split()
        truth[(int(locus), name)] = float(p)
    markers, initial, updated = [], {}, {}
    lines = open(result_name).read().split("\n")
    for line in lines[1:]:
        if not line.strip():
            continue
        marker, name, p0, p1 = line.split(",")
        if marker not in markers:
            markers.append(marker)
        key = (markers.index(marker) + 1, name)
        initial[key], updated[key] = float(p0), float(p1)
    for k in range(1, len(markers) + 1):
        total = sum(p for (l, _), p in updated.items() if l == k)
        if abs(total - 1.0) > 0.0005 * sum(1 for (l, _) in updated if l == k) + 1e-9:
            print(f"locus {k}: updated frequencies sum to {total}")
            return 1
    keys = set(truth) | set(initial)
    mae = [sum(abs(col.get(key, 0.0) - truth.get(key, 0.0)) for key in keys) / len(keys) for col in (initial, updated)]
    print(f"initial {mae[0]:.5f} updated {mae[1]:.5f} loci {len(markers)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
