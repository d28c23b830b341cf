#!/usr/bin/env bash
# One simulated sample written as a project file directly and imported by
# pedkin-import from VCF, BCF and PLINK files must give the same
# .BestConfig: SNPs with candidate parents and missing calls through all
# three, and microsatellites (multi-allelic sites) through a bgzip-compressed
# VCF. The direct project takes the importer's seed.
#   import.sh <pedkin> <pedkin-import> <vcf_to_bcf> <source dir>
set -u
pedkin="$1"
import="$2"
vcf_to_bcf="$3"
source_dir="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

run() {  # run <dir>: pedkin on <dir>/sample.dat inside <dir>
  (cd "$1" && "$pedkin" IFN:sample.dat > run.log 2>&1) || { echo "FAIL: pedkin on $1"; cat "$1/run.log"; exit 1; }
}
imports() {  # imports <dir> <import options...>
  local dir="$1"
  shift
  mkdir -p "$dir"
  "$import" "$@" --roles sample.roles.csv --out "$dir/sample" > "$dir/import.log" 2>&1 ||
    { echo "FAIL: import into $dir"; cat "$dir/import.log"; exit 1; }
  grep -q "^Sites: $loci kept, 0 dropped" "$dir/import.log" || { echo "FAIL: $dir summary"; cat "$dir/import.log"; exit 1; }
  run "$dir"
  cmp -s direct/sample.BestConfig "$dir/sample.BestConfig" || {
    echo "FAIL: $dir gives another .BestConfig than the project file"
    diff direct/sample.BestConfig "$dir/sample.BestConfig" | head
    exit 1
  }
}

loci=80
python3 "$source_dir/tools/simulate.py" --seed 3 --offspring 40 --families 6 --loci $loci --alleles 2 \
  --sampled 0.5 --extra 2 --missing 0.05 --out sample --vcf --plink || { echo "FAIL: simulation"; exit 1; }
mkdir direct && sed '5s/^[0-9]*/1/' sample.dat > direct/sample.dat && run direct
"$vcf_to_bcf" sample.vcf sample.bcf || { echo "FAIL: BCF"; exit 1; }
imports vcf --vcf sample.vcf
imports bcf --bcf sample.bcf
imports plink --bfile sample
roles="40 offspring, $(grep -c '^1 ' sample.candidates) candidate fathers, $(grep -c '^2 ' sample.candidates) candidate mothers"
grep -q "^Individuals: $roles (48 in the genotype file)" plink/import.log ||
  { echo "FAIL: roles in the summary"; cat plink/import.log; exit 1; }

rm -rf direct
loci=10
python3 "$source_dir/tools/simulate.py" --seed 5 --offspring 30 --families 6 --loci $loci --alleles 8 \
  --missing 0.1 --out sample --vcf || { echo "FAIL: simulation"; exit 1; }
mkdir direct && sed '5s/^[0-9]*/1/' sample.dat > direct/sample.dat && run direct
"$vcf_to_bcf" sample.vcf sample.vcf.gz vcf.gz || { echo "FAIL: VCF.gz"; exit 1; }
imports microsat --vcf sample.vcf.gz
echo "imported projects give the direct project's result"
