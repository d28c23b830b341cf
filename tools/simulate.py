#!/usr/bin/env python3
"""Draws a two-generation sample with a known pedigree and writes it as a
Pedkin project file, plus the true parents of every offspring.

The draw is deterministic from --seed. Parents are drawn from a population in
Hardy-Weinberg equilibrium; offspring receive one allele from each parent;
observed genotypes then suffer allelic dropout, other typing errors and
missing data at the given rates.

Output: <out>.dat (the project file), <out>.truth (one line per offspring:
offspring id, father id, mother id; candidates appear under their own ids)
and <out>.candidates (one line per candidate: sex 1 or 2, id). With
--genotypes also <out>.genotypes (one line per offspring, then one per true
parent under its id of <out>.truth: id, then the two true alleles of every
locus as the project file names them; a dominant locus's alleles as 1 and 2,
2 being the dominant one).

Example:
  tools/simulate.py --seed 7 --offspring 100 --families 15 --loci 10 \
      --alleles 8 --out sample
"""

import argparse
import random
import sys


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--out", required=True, help="output prefix")
    p.add_argument("--name", default="Simulated sample")
    p.add_argument("--offspring", type=int, default=60)
    p.add_argument("--families", type=int, default=10, help="number of full-sib families")
    p.add_argument("--mating", choices=["polygamous", "monogamous"], default="polygamous")
    p.add_argument("--fathers", type=int, default=0,
                   help="number of fathers of a polygamous sample (default: about 2/3 of the families)")
    p.add_argument("--mothers", type=int, default=0,
                   help="number of mothers of a polygamous sample (default: about 2/3 of the families)")
    p.add_argument("--known-reference", action="store_true",
                   help="also write <out>.known.dat: the same sample with the true paternal and maternal "
                        "sibships given as known, whose best configuration is the reference a search must reach")
    p.add_argument("--loci", type=int, default=10)
    p.add_argument("--alleles", type=int, default=8, help="alleles per locus (2 = SNP)")
    p.add_argument("--dominant", type=int, default=0, help="number of dominant loci (placed last)")
    p.add_argument("--dropout", type=float, default=0.01)
    p.add_argument("--error", type=float, default=0.01)
    p.add_argument("--missing", type=float, default=0.0)
    p.add_argument("--model-errors", action="store_true",
                   help="draw the codominant loci's errors as the likelihood's error model defines its rates, so "
                        "that the rates can be estimated back: each allele is replaced, with chance --error, by one "
                        "drawn uniformly from all alleles of the locus, itself included; then each allele of a "
                        "heterozygote drops out with chance --dropout (both at once means a failed typing, done "
                        "again), so that it shows as a homozygote of one of its alleles with chance 2D/(1+D)")
    p.add_argument("--genotypes", action="store_true",
                   help="also write <out>.genotypes: the true genotypes of the offspring")
    p.add_argument("--monoecious", action="store_true")
    p.add_argument("--sampled", type=float, default=0.0,
                   help="fraction of true parents included among the candidates")
    p.add_argument("--extra", type=int, default=0, help="unrelated extra candidates per sex")
    p.add_argument("--runs", type=int, default=1)
    p.add_argument("--length", type=int, default=1)
    p.add_argument("--method", type=int, default=1)
    p.add_argument("--precision", type=int, default=1)
    p.add_argument("--prior", type=int, default=0)
    p.add_argument("--known-frequencies", action="store_true",
                   help="give the population allele frequencies the founders were drawn from in the project "
                        "file (codominant loci only)")
    p.add_argument("--model-rate", type=float, default=None,
                   help="error rate written in the project file (default: the simulated rates)")
    return p.parse_args(argv)


class Simulator:
    def __init__(self, args):
        self.a = args
        self.rng = random.Random(args.seed)
        self.freqs = []
        for l in range(args.loci):
            k = 2 if l >= args.loci - args.dominant else args.alleles
            w = [self.rng.uniform(0.3, 1.0) for _ in range(k)]
            s = sum(w)
            self.freqs.append([x / s for x in w])
        # Allele names as a lab would report them: sizes for microsatellites.
        self.names = []
        for l in range(args.loci):
            base = 100 + 2 * self.rng.randrange(20)
            self.names.append([base + 2 * i for i in range(len(self.freqs[l]))])

    def is_dominant(self, l):
        return l >= self.a.loci - self.a.dominant

    def draw_allele(self, l):
        return self.rng.choices(range(len(self.freqs[l])), weights=self.freqs[l])[0]

    def founder(self):
        return [(self.draw_allele(l), self.draw_allele(l)) for l in range(self.a.loci)]

    def child(self, dad, mum):
        return [(self.rng.choice(dad[l]), self.rng.choice(mum[l])) for l in range(self.a.loci)]

    def observe(self, g):
        """Observed allele items of one individual, with errors and missing data."""
        items = []
        for l, (x, y) in enumerate(g):
            if self.is_dominant(l):
                # Band present (2) when the dominant allele (index 1) is carried.
                if self.rng.random() < self.a.missing:
                    items.append("0")
                    continue
                band = 2 if 1 in (x, y) else 1
                if self.rng.random() < self.a.error:
                    band = 3 - band
                items.append(str(band))
                continue
            if self.rng.random() < self.a.missing:
                items += ["0", "0"]
                continue
            n = len(self.freqs[l])
            if self.a.model_errors:
                x, y = self.model_errors(x, y, n)
                items += [str(self.names[l][x]), str(self.names[l][y])]
                continue
            if x != y and self.rng.random() < self.a.dropout:
                x = y = self.rng.choice((x, y))
            if self.rng.random() < self.a.error and n > 1:
                other = [i for i in range(n) if i != x]
                x = self.rng.choice(other)
            if self.rng.random() < self.a.error and n > 1:
                other = [i for i in range(n) if i != y]
                y = self.rng.choice(other)
            items += [str(self.names[l][x]), str(self.names[l][y])]
        return items

    def model_errors(self, x, y, n):
        """Other errors, then dropout, at the rates of the error model."""
        D, E = self.a.dropout, self.a.error
        if E > 0:
            if self.rng.random() < E:
                x = self.rng.randrange(n)
            if self.rng.random() < E:
                y = self.rng.randrange(n)
        if x != y and D > 0:
            while True:
                lost_x, lost_y = self.rng.random() < D, self.rng.random() < D
                if not (lost_x and lost_y):
                    break
            if lost_x:
                x = y
            elif lost_y:
                y = x
        return x, y

    def pedigree(self):
        """Full-sib families as (father, mother) pairs over parent indexes."""
        a = self.a
        f = max(1, a.families)
        if a.mating == "monogamous":
            pairs = [(i, i) for i in range(f)]
            nd = nm = f
        else:
            # Fewer parents than families, so that half sibs exist on both sides.
            nd = a.fathers if a.fathers > 0 else max(1, (2 * f + 2) // 3)
            nm = a.mothers if a.mothers > 0 else max(1, (2 * f + 2) // 3)
            if f > nd * nm:
                sys.exit(f"{f} families need more than {nd} fathers and {nm} mothers")
            pairs = set()
            # Every parent has at least one family.
            for i in range(min(f, max(nd, nm))):
                pairs.add((i % nd, i % nm))
            while len(pairs) < f:
                pairs.add((self.rng.randrange(nd), self.rng.randrange(nm)))
            pairs = sorted(pairs)
        return nd, nm, pairs

    def run(self):
        a = self.a
        nd, nm, pairs = self.pedigree()
        dads = [self.founder() for _ in range(nd)]
        mums = dads if a.monoecious else [self.founder() for _ in range(nm)]
        # Each family gets at least one offspring, the rest at random with
        # unequal family sizes.
        sizes = [1] * len(pairs)
        weights = [self.rng.uniform(0.5, 2.0) for _ in pairs]
        for _ in range(a.offspring - len(pairs)):
            sizes[self.rng.choices(range(len(pairs)), weights=weights)[0]] += 1
        offspring = []
        for fam, (d, m) in enumerate(pairs):
            for _ in range(sizes[fam]):
                offspring.append((d, m, self.child(dads[d], mums[m])))
        self.rng.shuffle(offspring)
        dad_prefix = "P" if a.monoecious else "M"
        mum_prefix = "P" if a.monoecious else "F"

        def pick(n):
            chosen = [i for i in range(n) if self.rng.random() < a.sampled]
            return chosen

        cand = {1: [], 2: []}
        if a.sampled > 0 or a.extra > 0:
            for i in pick(nd):
                cand[1].append((f"{dad_prefix}{i + 1:03d}", dads[i]))
            if a.monoecious:
                cand[2] = list(cand[1])
            else:
                for i in pick(nm):
                    cand[2].append((f"{mum_prefix}{i + 1:03d}", mums[i]))
            for k in range(a.extra):
                extra = ("X" + dad_prefix + f"{k + 1:03d}", self.founder())
                cand[1].append(extra)
                if a.monoecious:
                    cand[2].append(extra)
                else:
                    cand[2].append(("X" + mum_prefix + f"{k + 1:03d}", self.founder()))
            for s in (1, 2):
                self.rng.shuffle(cand[s])
            if a.monoecious:
                cand[2] = list(cand[1])
        self.parents = [(f"{dad_prefix}{i + 1:03d}", g) for i, g in enumerate(dads)]
        if not a.monoecious:
            self.parents += [(f"{mum_prefix}{i + 1:03d}", g) for i, g in enumerate(mums)]
        return offspring, cand, dad_prefix, mum_prefix

    def write(self):
        a = self.a
        offspring, cand, dp, mp = self.run()
        D = a.dropout if a.model_rate is None else a.model_rate
        E = a.error if a.model_rate is None else a.model_rate
        out = []
        out.append(f"'{a.name}'   ! dataset name")
        out.append(f"{a.out.split('/')[-1]}   ! output name")
        out.append(f"{len(offspring)}   ! number of offspring")
        out.append(f"{a.loci}   ! number of loci")
        out.append(f"{a.seed}   ! random number seed")
        out.append("0   ! update allele frequencies (0 no, 1 yes)")
        out.append(f"{1 if a.monoecious else 2}   ! 2 dioecious, 1 monoecious")
        out.append("0   ! inbreeding (0 no, 1 yes)")
        out.append("0   ! 0 diploid, 1 haplodiploid")
        mm = "1 1" if a.mating == "monogamous" else "0 0"
        out.append(f"{mm}   ! max matings per male and female (0 unconstrained)")
        out.append("0   ! clone inference (0 no, 1 yes)")
        out.append("0   ! full-sibship size scaling (0 no, 1 yes)")
        out.append(f"{a.prior}" + ("   ! sibship prior (0 none)" if a.prior == 0 else " 2.0 2.0   ! sibship prior, mean paternal and maternal sibship sizes"))
        if a.known_frequencies:
            if a.dominant:
                sys.exit("--known-frequencies gives codominant loci only")
            out.append("1   ! allele frequencies known (0 no, 1 yes)")
            out.append(" ".join(str(len(f)) for f in self.freqs) + "   ! alleles per locus")
            for l, f in enumerate(self.freqs):
                out.append(" ".join(str(x) for x in self.names[l]))
                out.append(" ".join(f"{x:.10f}" for x in f))
        else:
            out.append("0   ! allele frequencies known (0 no, 1 yes)")
        out.append(f"{a.runs}   ! number of runs")
        out.append(f"{a.length}   ! length of run (0 very short .. 4 very long)")
        out.append("0   ! monitor by iterate (0) or time (1)")
        out.append("100000   ! monitor interval")
        out.append("0   ! platform (0 Linux/others, 1 Windows)")
        out.append(f"{a.method}   ! method: 0 pairwise score, 1 full likelihood, 2 both")
        out.append(f"{a.precision}   ! likelihood precision (0 low .. 3 very high)")
        out.append("")
        out.append("MK@   ! marker names")
        types = ["1" if self.is_dominant(l) else "0" for l in range(a.loci)]
        out.append((" ".join(types) if a.dominant else "0@") + "   ! marker types (0 codominant, 1 dominant)")
        out.append(f"{D}@   ! allelic dropout rate per locus")
        out.append(f"{E}@   ! other error rate per locus")
        out.append("")
        for i, (d, m, g) in enumerate(offspring):
            out.append(f"O{i + 1:04d} " + " ".join(self.observe(g)))
        out.append("")
        out.append(f"{max(a.sampled, 0.001)} {max(a.sampled, 0.001)}   ! probabilities that the father / mother is among the candidates")
        out.append(f"{len(cand[1])} {len(cand[2])}   ! numbers of candidate fathers and mothers")
        # One typing per individual: a monoecious candidate listed as father
        # and as mother carries the same observed genotype in both lists.
        typed = {}
        for s in (1, 2):
            for cid, g in cand[s]:
                if cid not in typed:
                    typed[cid] = " ".join(self.observe(g))
                out.append(f"{cid} {typed[cid]}")
        out.append("")
        out.append("0 0   ! known paternity: number of pairs, mismatch allowance")
        out.append("0 0   ! known maternity: number of pairs, mismatch allowance")
        sib_at = len(out)
        out.append("0   ! known paternal sibships")
        out.append("0   ! known maternal sibships")
        out.append("0   ! excluded paternity")
        out.append("0   ! excluded maternity")
        out.append("0   ! excluded paternal sibships")
        out.append("0   ! excluded maternal sibships")
        with open(a.out + ".dat", "w") as f:
            f.write("\n".join(out) + "\n")
        if a.known_reference:
            # The true sibships of each side as known sibships (those of two
            # or more offspring), under an output name of its own.
            known = list(out)
            known[1] = f"{a.out.split('/')[-1]}.known   ! output name"
            blocks = []
            for side in (0, 1):
                groups = {}
                for i, parents in enumerate(offspring):
                    groups.setdefault(parents[side], []).append(f"O{i + 1:04d}")
                lines = [f"{len(g)} " + " ".join(g) for g in groups.values() if len(g) > 1]
                what = "paternal" if side == 0 else "maternal"
                blocks.append([f"{len(lines)}   ! known {what} sibships"] + lines)
            known[sib_at:sib_at + 2] = blocks[0] + blocks[1]
            with open(a.out + ".known.dat", "w") as f:
                f.write("\n".join(known) + "\n")
        with open(a.out + ".truth", "w") as f:
            for i, (d, m, _) in enumerate(offspring):
                f.write(f"O{i + 1:04d} {dp}{d + 1:03d} {mp}{m + 1:03d}\n")
        if a.genotypes:
            with open(a.out + ".genotypes", "w") as f:
                rows = [(f"O{i + 1:04d}", g) for i, (_, _, g) in enumerate(offspring)] + self.parents
                for oid, g in rows:
                    items = []
                    for l, (x, y) in enumerate(g):
                        if self.is_dominant(l):
                            items += [str(x + 1), str(y + 1)]
                        else:
                            items += [str(self.names[l][x]), str(self.names[l][y])]
                    f.write(f"{oid} " + " ".join(items) + "\n")
        # The candidates, as "sex id" lines, so that parentage can be scored.
        with open(a.out + ".candidates", "w") as f:
            for s in (1, 2):
                for cid, _ in cand[s]:
                    f.write(f"{s} {cid}\n")


def main(argv):
    args = parse_args(argv)
    if args.offspring < 1 or args.loci < 1 or args.alleles < 2:
        sys.exit("offspring and loci must be >= 1, alleles >= 2")
    if args.families > args.offspring:
        sys.exit("cannot have more families than offspring")
    Simulator(args).write()


if __name__ == "__main__":
    main(sys.argv[1:])
