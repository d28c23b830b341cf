#!/usr/bin/env bash
# On the bundled examples (identifiers holding a comma, a quote, a backslash and markup), the
# pedigree table read as RFC 4180 text agrees with .BestConfig, .BestFSFamily, .Paternity and
# .Maternity; its SVG pictures are well formed, name everyone, one frame per cluster, whole or split.
source "$(dirname "$0")/common.sh"
sed -e "s/^O0001 /'Ind, 1' /" -e 's/^O0003 /O"3 /' -e 's/^O0005 /O\\N<\&5 /' -e "s/^O0008 /'Q, 8' /" -e "s/ O0008 / 'Q, 8' /" \
  "$source_dir/examples/microsat_dioecious.dat" > dioecious.dat
cp "$source_dir/examples/snp_monoecious.dat" monoecious.dat
for project in dioecious monoecious; do
  run_pedkin . $project.dat
done

python3 - "$source_dir/tools/plot_families" microsat_dioecious snp_monoecious <<'EOF' || exit 1
import csv, glob, re, subprocess, sys
import xml.etree.ElementTree as ET

def fail(msg):
    sys.exit("FAIL: " + msg)

def fixed_width(path):  # fields end where their header names end
    lines = open(path).read().splitlines()
    ends = [m.end() for m in re.finditer(r"\S+", lines[0])]
    return [dict(zip(lines[0].split(), (l[a:b].strip() for a, b in zip([0] + ends, ends)))) for l in lines[1:]]

def svg_texts(path):
    root = ET.parse(path).getroot()
    ns = "{http://www.w3.org/2000/svg}"
    return ([t.text for t in root.iter(ns + "text")],
            sum(1 for g in root.iter(ns + "g") if g.get("class") == "cluster"))

tool = sys.argv[1]
for name in sys.argv[2:]:
    with open(name + ".Pedigree.csv", newline="") as f:
        rows = list(csv.reader(f))
    if rows[0] != ["id", "father", "mother", "fullsib_family", "cluster", "father_prob", "mother_prob"]:
        fail(name + " header " + str(rows[0]))
    rows = [dict(zip(rows[0], r)) for r in rows[1:]]
    best = fixed_width(name + ".BestConfig")
    got = [(r["id"], r["father"], r["mother"], r["cluster"]) for r in rows]
    want = [(b["OffspringID"], b["FatherID"], b["MotherID"], b["ClusterIndex"]) for b in best]
    if got != want:
        fail(name + " rows differ from .BestConfig")
    # Each full-sib family's members, in sample order, as .BestFSFamily lists them.
    for line in open(name + ".BestFSFamily").read().splitlines()[1:]:
        members = [r["id"] for r in rows if r["fullsib_family"] == line[:16].strip()]
        if ",".join(members) != line[42:]:
            fail("%s full-sib family %s: %s" % (name, line[:16].strip(), members))
    ids = sorted((r["id"] for r in rows), key=len, reverse=True)
    for side, suffix in (("father", ".Paternity"), ("mother", ".Maternity")):
        listed = {}
        for line in open(name + suffix).read().splitlines()[1:]:
            i = next(i for i in ids if line.startswith(i + ","))
            f = line[len(i) + 1:].split(",")
            listed[i] = dict(zip(f[::2], f[1::2]))
        for r in rows:
            if r[side + "_prob"] != listed.get(r["id"], {}).get(r[side], ""):
                fail("%s %s %s probability %r" % (name, r["id"], side, r[side + "_prob"]))
    if not any(r["father_prob"] for r in rows) and name == "microsat_dioecious":
        fail("no father probability")

    # One picture; then, split at 10 offspring, one per cluster.
    parents = {r[s] for r in rows for s in ("father", "mother")}
    clusters = {r["cluster"] for r in rows}
    subprocess.run([tool, name], check=True, stdout=subprocess.DEVNULL)
    texts, frames = svg_texts(name + ".Families.svg")
    missing = [r["id"] for r in rows if r["id"] not in texts] + [p for p in parents if not p in " ".join(texts)]
    if missing or frames != len(clusters):
        fail("%s picture: missing %s, %d frames for %d clusters" % (name, missing, frames, len(clusters)))
    subprocess.run([tool, name, "--split", "10"], check=True, stdout=subprocess.DEVNULL)
    for c in clusters:
        texts, frames = svg_texts("%s.Families.cluster%s.svg" % (name, c))
        if frames != 1 or any(r["id"] not in texts for r in rows if r["cluster"] == c):
            fail("%s cluster %s picture" % (name, c))
    if glob.glob(name + ".Families.svg") or len(glob.glob(name + ".Families.cluster*.svg")) != len(clusters):
        fail(name + " split pictures")
EOF
echo "pedigree table and pictures checked"
