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
--vcf also <out>.vcf, and with --plink also <out>.bed, <out>.bim and
<out>.fam: the same observed genotypes (offspring, then candidate fathers,
then candidate mothers, as in the project file; alleles in the order of the
project file's names, so REF or the first .bim allele is the smallest), with
<out>.roles.csv giving each individual's role. With
--genotypes also <out>.genotypes (one line per offspring, then one per true
parent under its id of <out>.truth: id, then the two true alleles of every
locus as the project file names them; a dominant locus's alleles as 1 and 2,
2 being the dominant one). With --duplicates also <out>.clones (one line per
copy: the copy's id, then the id of the offspring it copies); the project
then asks for clone inference.
2 being the dominant one). With --true-frequencies also <out>.frequencies
(the population frequencies, alleles named as in <out>.genotypes).

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
    p.add_argument("--selfing", type=float, default=0.0,
                   help="share of the offspring that are selfed (monoecious samples only; the project then "
                        "allows inbreeding, and the parents come from a population at the inbreeding "
                        "equilibrium of that selfing rate)")
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
    p.add_argument("--vcf", action="store_true", help="also write <out>.vcf and <out>.roles.csv")
    p.add_argument("--plink", action="store_true",
                   help="also write <out>.bed/.bim/.fam and <out>.roles.csv (two-allele loci only)")
    p.add_argument("--duplicates", type=int, default=0,
                   help="offspring sampled a second time, under a new id, typed again (ids as placed in the sample)")
    p.add_argument("--duplicate-errors", type=int, default=1,
                   help="loci of each second typing mistyped on top of the usual error rates")
    p.add_argument("--update-frequencies", type=int, choices=[0, 1], default=0,
                   help="the project's allele-frequency update option (0 no, 1 yes)")
    p.add_argument("--true-frequencies", action="store_true",
                   help="also write <out>.frequencies: the population allele frequencies the founders were "
                        "drawn from, one line per allele: locus number, allele name, frequency")
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
        if self.a.selfing <= 0:
            return [(self.draw_allele(l), self.draw_allele(l)) for l in range(self.a.loci)]
        # A population that selfs at rate s has inbreeding F = s / (2 - s):
        # with chance F a locus carries two copies of one ancestral allele.
        F = self.a.selfing / (2.0 - self.a.selfing)
        g = []
        for l in range(self.a.loci):
            x = self.draw_allele(l)
            g.append((x, x) if self.rng.random() < F else (x, self.draw_allele(l)))
        return g

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

    def mistype(self, items):
        """Changes one typed allele (or band) at --duplicate-errors loci."""
        loci = list(range(self.a.loci))
        self.rng.shuffle(loci)
        for l in loci[:self.a.duplicate_errors]:
            at = sum(1 if self.is_dominant(k) else 2 for k in range(l))
            if self.is_dominant(l):
                if items[at] != "0":
                    items[at] = str(3 - int(items[at]))
                continue
            at += self.rng.randrange(2)
            if items[at] != "0":
                items[at] = str(self.rng.choice([x for x in self.names[l] if str(x) != items[at]]))
    def monoecious_pedigree(self):
        """Families of one pool of parents: outcrossed pairs of two different
        parents and, with --selfing, selfed families (i, i). Returns the
        number of parents, the pairs and the number of offspring of each
        kind of family (outcrossed, selfed)."""
        a = self.a
        f = max(1, a.families)
        selfed = round(a.selfing * a.offspring)
        ks = 0 if selfed == 0 else max(1, round(f * a.selfing))
        if selfed == a.offspring:
            ks = f
        nd = a.fathers if a.fathers > 0 else max(2, (2 * f + 2) // 3)
        ko = f - ks
        if ks > nd or ks > selfed or ko > a.offspring - selfed or (ko == 0) != (selfed == a.offspring):
            sys.exit(f"cannot draw {ks} selfed and {ko} outcrossed families of {a.offspring} offspring "
                     f"({selfed} selfed) from {nd} parents")
        if ko > nd * (nd - 1) // 2:
            sys.exit(f"{ko} outcrossed families need more than {nd} parents")
        pairs = set()
        # Every parent has at least one outcrossed family while there are
        # families enough.
        for i in range(min(ko, nd)):
            pairs.add((min(i, (i + 1) % nd), max(i, (i + 1) % nd)))
        while len(pairs) < ko:
            i, j = self.rng.sample(range(nd), 2)
            pairs.add((min(i, j), max(i, j)))
        pairs = sorted(pairs) + [(i, i) for i in sorted(self.rng.sample(range(nd), ks))]
        return nd, pairs, (a.offspring - selfed, selfed)
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
        if a.monoecious:
            nd, pairs, self.monoecious_counts = self.monoecious_pedigree()
            return nd, nd, pairs
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
        if a.monoecious:
            # The outcrossed and the selfed families share out their own
            # numbers of offspring.
            counts = self.monoecious_counts
            for selfed in (False, True):
                kind = [k for k, (d, m) in enumerate(pairs) if (d == m) == selfed]
                for _ in range(counts[1 if selfed else 0] - len(kind)):
                    sizes[self.rng.choices(kind, weights=[weights[k] for k in kind])[0]] += 1
        else:
            for _ in range(a.offspring - len(pairs)):
                sizes[self.rng.choices(range(len(pairs)), weights=weights)[0]] += 1
        offspring = []
        for fam, (d, m) in enumerate(pairs):
            for _ in range(sizes[fam]):
                offspring.append((d, m, self.child(dads[d], mums[m])))
        self.rng.shuffle(offspring)
        # Second samples of some offspring, each placed anywhere in the
        # sample; copy_of[i] is the position of the offspring that i copies.
        self.copy_of = [-1] * len(offspring)
        if a.duplicates > 0:
            tags = list(range(len(offspring)))
            for orig in self.rng.sample(range(len(offspring)), min(a.duplicates, len(offspring))):
                at = self.rng.randrange(len(offspring) + 1)
                offspring.insert(at, offspring[tags.index(orig)])
                tags.insert(at, -1 - orig)
            self.copy_of = [-1 if t >= 0 else tags.index(-1 - t) for t in tags]
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
        self.records = []
        out.append(f"'{a.name}'   ! dataset name")
        out.append(f"{a.out.split('/')[-1]}   ! output name")
        out.append(f"{len(offspring)}   ! number of offspring")
        out.append(f"{a.loci}   ! number of loci")
        out.append(f"{a.seed}   ! random number seed")
        out.append(f"{a.update_frequencies}   ! update allele frequencies (0 no, 1 yes)")
        out.append(f"{1 if a.monoecious else 2}   ! 2 dioecious, 1 monoecious")
        out.append(f"{1 if a.selfing > 0 else 0}   ! inbreeding (0 no, 1 yes)")
        out.append("0   ! 0 diploid, 1 haplodiploid")
        mm = "1 1" if a.mating == "monogamous" else "0 0"
        out.append(f"{mm}   ! max matings per male and female (0 unconstrained)")
        out.append(f"{1 if a.duplicates > 0 else 0}   ! clone inference (0 no, 1 yes)")
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
            items = self.observe(g)
            if self.copy_of[i] >= 0:
                self.mistype(items)
            self.records.append((f"O{i + 1:04d}", "offspring", items))
            out.append(f"O{i + 1:04d} " + " ".join(items))
        out.append("")
        out.append(f"{max(a.sampled, 0.001)} {max(a.sampled, 0.001)}   ! probabilities that the father / mother is among the candidates")
        out.append(f"{len(cand[1])} {len(cand[2])}   ! numbers of candidate fathers and mothers")
        # One typing per individual: a monoecious candidate listed as father
        # and as mother carries the same observed genotype in both lists.
        typed = {}
        for s in (1, 2):
            for cid, g in cand[s]:
                if cid not in typed:
                    typed[cid] = self.observe(g)
                self.records.append((cid, "father" if s == 1 else "mother", typed[cid]))
                out.append(f"{cid} {' '.join(typed[cid])}")
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
        if a.duplicates > 0:
            with open(a.out + ".clones", "w") as f:
                for i, orig in enumerate(self.copy_of):
                    if orig >= 0:
                        f.write(f"O{i + 1:04d} O{orig + 1:04d}\n")
        if a.vcf or a.plink:
            self.write_genotype_files()
        if a.true_frequencies:
            with open(a.out + ".frequencies", "w") as f:
                for l, freqs in enumerate(self.freqs):
                    names = ["1", "2"] if self.is_dominant(l) else [str(x) for x in self.names[l]]
                    for name, x in zip(names, freqs):
                        f.write(f"{l + 1} {name} {x:.10f}\n")
        # The candidates, as "sex id" lines, so that parentage can be scored.
        with open(a.out + ".candidates", "w") as f:
            for s in (1, 2):
                for cid, _ in cand[s]:
                    f.write(f"{s} {cid}\n")

    def write_genotype_files(self):
        """The observed genotypes as VCF and/or PLINK 1 binary files, with the
        roles file. Allele k of a locus (in the order of its names) is VCF
        allele k - 1 and .bim allele k; 0 items are missing calls, written
        in the VCF alternately as "./." and ".", and every other individual's
        calls are phased."""
        a = self.a
        if a.monoecious or a.dominant:
            sys.exit("--vcf and --plink take dioecious samples of codominant loci")
        with open(a.out + ".roles.csv", "w") as f:
            f.write("ID,role\n" + "".join(f"{rid},{role}\n" for rid, role, _ in self.records))

        def call(l, items):
            x, y = items[2 * l], items[2 * l + 1]
            if x == "0" or y == "0":
                return None
            return self.names[l].index(int(x)), self.names[l].index(int(y))

        if a.vcf:
            lines = ["##fileformat=VCFv4.2", "##contig=<ID=1>",
                     '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
                     "\t".join(["#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO", "FORMAT"]
                               + [rid for rid, _, _ in self.records])]
            for l in range(a.loci):
                bases = ["A" * (k + 1) for k in range(len(self.names[l]))]
                row = ["1", str(100 * (l + 1)), f"snp{l + 1}" if l % 2 else ".", bases[0], ",".join(bases[1:]),
                       ".", "PASS", ".", "GT"]
                for i, (_, _, items) in enumerate(self.records):
                    c = call(l, items)
                    row.append(("./." if i % 2 else ".") if c is None else f"{c[0]}{'|' if i % 2 else '/'}{c[1]}")
                lines.append("\t".join(row))
            with open(a.out + ".vcf", "w") as f:
                f.write("\n".join(lines) + "\n")
        if a.plink:
            if a.alleles != 2:
                sys.exit("--plink takes two-allele loci only")
            with open(a.out + ".fam", "w") as f:
                for rid, role, _ in self.records:
                    f.write(f"fam {rid} 0 0 {1 if role == 'father' else 2 if role == 'mother' else 0} -9\n")
            with open(a.out + ".bim", "w") as f:
                for l in range(a.loci):
                    f.write(f"1 snp{l + 1} 0 {100 * (l + 1)} A G\n")
            codes = {(0, 0): 0, (0, 1): 2, (1, 0): 2, (1, 1): 3}
            data = bytearray([0x6C, 0x1B, 0x01])
            for l in range(a.loci):
                block = bytearray((len(self.records) + 3) // 4)
                for i, (_, _, items) in enumerate(self.records):
                    c = call(l, items)
                    block[i // 4] |= (1 if c is None else codes[c]) << (2 * (i % 4))
                data += block
            with open(a.out + ".bed", "wb") as f:
                f.write(data)


def main(argv):
    args = parse_args(argv)
    if args.offspring < 1 or args.loci < 1 or args.alleles < 2:
        sys.exit("offspring and loci must be >= 1, alleles >= 2")
    if args.families > args.offspring:
        sys.exit("cannot have more families than offspring")
    if not 0.0 <= args.selfing <= 1.0 or (args.selfing > 0 and not args.monoecious):
        sys.exit("--selfing is a share in [0, 1] and needs --monoecious")
    Simulator(args).write()


if __name__ == "__main__":
    main(sys.argv[1:])
