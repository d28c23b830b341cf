#!/usr/bin/env python3
"""Compares the estimated error rates of a Pedkin ".ErrorRate" file with the
rates a sample was simulated with (tools/simulate.py --model-errors).

Prints one line:
  rows <loci> drop <mean estimate> <share of loci whose interval holds the
  true rate> other <mean estimate> <share>

Example:
  tools/error_rate_accuracy.py sample.ErrorRate 0.05 0
"""

import sys


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    name, drop, other = argv[0], float(argv[1]), float(argv[2])
    rows = []
    with open(name) as f:
        header = f.readline()
        if not header.startswith("MarkerID,StartDropRate"):
            sys.exit(f"{name}: not an error-rate file")
        for line in f:
            fields = line.strip().split(",")
            if len(fields) != 9:
                sys.exit(f"{name}: row of {len(fields)} fields: {line.strip()}")
            rows.append([float(x) for x in fields[1:]])
    if not rows:
        sys.exit(f"{name}: no rows")

    def summary(first, truth):
        est = [r[first + 1] for r in rows]
        held = [r[first + 2] <= truth <= r[first + 3] for r in rows]
        return sum(est) / len(est), sum(held) / len(held)

    d, dc = summary(0, drop)
    e, ec = summary(4, other)
    print(f"rows {len(rows)} drop {d:.4f} {dc:.3f} other {e:.4f} {ec:.3f}")


if __name__ == "__main__":
    main(sys.argv[1:])
