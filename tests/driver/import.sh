#!/usr/bin/env bash
# One simulated sample as a project file and imported from VCF, BCF and PLINK files (SNPs with
# candidates and missing calls) and from a bgzip VCF (microsatellites) gives the same .BestConfig.
#   import.sh <pedkin> <pedkin-import> <vcf_to_bcf> <source dir>
source "$(dirname "$0")/common.sh"
import="$2"
vcf_to_bcf="$3"
source_dir="$4"
imports() {  # imports <dir> <import options...>
  local dir="$1"
  shift
  mkdir -p "$dir"
  "$import" "$@" --roles sample.roles.csv --out "$dir/sample" > "$dir/import.log" 2>&1 ||
    { echo "FAIL: import into $dir"; cat "$dir/import.log"; exit 1; }
  grep -q "^Sites: $loci kept, 0 dropped" "$dir/import.log" || { echo "FAIL: $dir summary"; cat "$dir/import.log"; exit 1; }
  run_pedkin "$dir" sample.dat
  cmp -s direct/sample.BestConfig "$dir/sample.BestConfig" || {
    echo "FAIL: $dir gives another .BestConfig than the project file"
    diff direct/sample.BestConfig "$dir/sample.BestConfig" | head
    exit 1
  }
}

loci=80
simulate --seed 3 --offspring 40 --families 6 --loci $loci --alleles 2 \
  --sampled 0.5 --extra 2 --missing 0.05 --out sample --vcf --plink
mkdir direct && sed '5s/^[0-9]*/1/' sample.dat > direct/sample.dat && run_pedkin direct sample.dat
"$vcf_to_bcf" sample.vcf sample.bcf || fail "BCF"
imports vcf --vcf sample.vcf
imports bcf --bcf sample.bcf
imports plink --bfile sample
roles="40 offspring, $(grep -c '^1 ' sample.candidates) candidate fathers, $(grep -c '^2 ' sample.candidates) candidate mothers"
grep -q "^Individuals: $roles (48 in the genotype file)" plink/import.log ||
  { echo "FAIL: roles in the summary"; cat plink/import.log; exit 1; }

rm -rf direct
loci=10
simulate --seed 5 --offspring 30 --families 6 --loci $loci --alleles 8 \
  --missing 0.1 --out sample --vcf
mkdir direct && sed '5s/^[0-9]*/1/' sample.dat > direct/sample.dat && run_pedkin direct sample.dat
"$vcf_to_bcf" sample.vcf sample.vcf.gz vcf.gz || fail "VCF.gz"
imports microsat --vcf sample.vcf.gz
echo "imported projects give the direct project's result"
