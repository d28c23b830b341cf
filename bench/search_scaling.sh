#!/usr/bin/env bash
# How the whole analysis scales: seconds, share of offspring pairs right
# and peak memory of each process, for simulated samples of growing size
# (one full-sib family per 8 offspring, 1% dropout and 1% other errors,
# run length 1, medium precision), with one and two processes; then the
# growth exponent of time with sample size (least-squares slope of log
# seconds on log offspring over the microsatellite samples). Run it by hand
# after `make build`, on a quiet machine:
#
#   bench/search_scaling.sh                       # the default table
#   bench/search_scaling.sh 500:20:10 200:500:2   # offspring:loci:alleles (2 = SNPs)
#   NPS="1" REPEAT=3 bench/search_scaling.sh      # one process, median of 3 runs
#   FIRST=5000:500:2 bench/search_scaling.sh      # peak memory until the search starts
#
# With FIRST set, the sample is analysed with one process only until the
# search reaches its first temperature; the time and the peak memory to that
# point are printed, and nothing else is run.
set -u
source "$(dirname "$0")/common.sh"
samples=("$@")
[ ${#samples[@]} -eq 0 ] && samples=(100:20:10 200:20:10 500:20:10 1000:20:10 2000:20:10 200:500:2 500:500:2)
nps=(${NPS:-1 2})
repeat="${REPEAT:-1}"
cd "$work"

simulate() {
  local n="$1" loci="$2" alleles="$3"
  local families=$(( n / 8 > 1 ? n / 8 : 1 ))
  python3 "$root/tools/simulate.py" --seed 1 --offspring "$n" --families "$families" --loci "$loci" \
    --alleles "$alleles" --error 0.01 --dropout 0.01 --length 1 --precision 1 --out sample > /dev/null
}

if [ -n "${FIRST:-}" ]; then
  IFS=: read -r n loci alleles <<< "$FIRST"
  simulate "$n" "$loci" "$alleles"
  start=$(date +%s.%N)
  "$pedkin" IFN:sample.dat RST:0 > run.log 2>&1 &
  pid=$!
  peak=0
  # The first progress line of the search means it is at its first
  # temperature; the peak resident memory is read from the process itself.
  while kill -0 "$pid" 2> /dev/null; do
    hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status" 2> /dev/null)
    [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    if tr '\r' '\n' < run.log | grep -q "^Run 1, Tmr"; then break; fi
    sleep 0.2
  done
  end=$(date +%s.%N)
  kill "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  if tr '\r' '\n' < run.log | grep -q "^Run 1, Tmr"; then
    printf "%s offspring x %s loci: first temperature reached after %.1f s, peak memory %.0f MB\n" \
      "$n" "$loci" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
  else
    echo "$n offspring x $loci loci: the search did not start"; tail -5 run.log
  fi
  exit 0
fi

printf "%9s %6s %8s %4s %9s %12s %12s\n" offspring loci alleles np seconds "pairs right" "MB/process"
fits=()
for s in "${samples[@]}"; do
  IFS=: read -r n loci alleles <<< "$s"
  simulate "$n" "$loci" "$alleles"
  for np in "${nps[@]}"; do
    launch="$(launcher "$np")"
    times=()
    for ((r = 0; r < repeat; ++r)); do
      rm -f mem.*
      start=$(date +%s.%N)
      # Each process reports its own peak resident memory.
      $launch bash -c '/usr/bin/time -f %M -o mem.${OMPI_COMM_WORLD_RANK:-0} "$0" IFN:sample.dat RST:0 TID:1' \
        "$pedkin" > /dev/null 2>&1
      end=$(date +%s.%N)
      times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")
    done
    seconds=$(printf "%s\n" "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    memory=$(cat mem.* 2> /dev/null | awk '$1 ~ /^[0-9]+$/ { if ($1 > m) m = $1 } END { printf "%.0f", m / 1024 }')
    accuracy=$(python3 "$root/tools/accuracy.py" sample.BestConfig sample.truth | sed -n 's/.*(\(.*\)).*/\1/p')
    printf "%9s %6s %8s %4s %9.1f %12s %12s\n" "$n" "$loci" "$alleles" "$np" "$seconds" "$accuracy" "$memory"
    [ "$alleles" -gt 2 ] && fits+=("$np $n $seconds")
  done
done
# Growth exponent: slope of log seconds on log offspring, per process count.
for np in "${nps[@]}"; do
  printf "%s\n" "${fits[@]}" | awk -v np="$np" '$1 == np && $3 > 0 {
      x = log($2); y = log($3); n++; sx += x; sy += y; sxx += x * x; sxy += x * y }
    END { if (n >= 2) { b = (n * sxy - sx * sy) / (n * sxx - sx * sx)
            printf "growth exponent of time with offspring (microsatellites, np %d): %.2f\n", np, b } }'
done
