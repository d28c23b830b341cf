#!/usr/bin/env python3
"""Scores the selfing calls of a monoecious analysis against the truth that
simulate.py wrote: an offspring is called selfed when its probability in
<out>.Selfer is above 0.5; the selfing rate is the FL_PLS estimate of
<out>.Inbreeding. With limits given, exits 1 when a figure misses them.

  tools/selfing_accuracy.py sample [min % selfed called] [max % outbred called] [max rate error]
"""

import sys


def main(argv):
    if len(argv) not in (1, 4):
        sys.exit(__doc__)
    out = argv[0]
    prob = {}
    with open(out + ".Selfer") as f:
        next(f)
        for line in f:
            name, p = line.strip().split(",")
            prob[name] = float(p)
    truth = {}
    with open(out + ".truth") as f:
        for line in f:
            name, dad, mum = line.split()[:3]
            truth[name] = dad == mum
    rate = None
    with open(out + ".Inbreeding") as f:
        for line in f:
            fields = line.split()
            if fields[:2] == ["FL_PLS", "Selfing"]:
                rate = float(fields[2])
    selfed = [i for i in truth if truth[i]]
    outbred = [i for i in truth if not truth[i]]
    hit = sum(prob[i] > 0.5 for i in selfed)
    false = sum(prob[i] > 0.5 for i in outbred)
    share_hit = 100.0 * hit / max(len(selfed), 1)
    share_false = 100.0 * false / max(len(outbred), 1)
    true_rate = len(selfed) / len(truth)
    print(f"selfed offspring called selfed: {hit} of {len(selfed)} ({share_hit:.1f}%)")
    print(f"outbred offspring called selfed: {false} of {len(outbred)} ({share_false:.1f}%)")
    print(f"selfing rate: estimate {rate:.4f}, truth {true_rate:.4f}")
    if len(argv) == 4:
        if share_hit < float(argv[1]) or share_false > float(argv[2]) or abs(rate - true_rate) > float(argv[3]):
            print("FAIL: outside the limits")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
