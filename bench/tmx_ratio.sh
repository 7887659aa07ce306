#!/bin/sh
# Times `vexil import` and `vexil export` of a 300 x 200 map with 1,000
# distinct 16 x 16 tiles against tmxrasterizer rendering the same map, in
# one run, alternating the three so that the machine's load falls on all
# alike, and prints the medians and the two ratios.
# Usage: bench/tmx_ratio.sh [BUILD_DIR] [ROUNDS]
set -e
build=${1:-build}
rounds=${2:-15}
vexil=$build/tools/vexil
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/vexil_tmxmap" "$work"
"$vexil" import "$work/bench.tmx" -o "$work/bench.fmp"

now() { date +%s%N; }
for i in $(seq "$rounds"); do
  t0=$(now); "$vexil" import "$work/bench.tmx" -o "$work/in.fmp"
  t1=$(now); QT_QPA_PLATFORM=offscreen tmxrasterizer "$work/bench.tmx" "$work/tiled.png" >/dev/null 2>&1
  t2=$(now); "$vexil" export "$work/bench.fmp" -o "$work/out.tmx"
  t3=$(now)
  echo "$(( (t1 - t0) / 1000 )) $(( (t2 - t1) / 1000 )) $(( (t3 - t2) / 1000 ))"
done > "$work/times"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
imp=$(cut -d' ' -f1 "$work/times" | median)
ras=$(cut -d' ' -f2 "$work/times" | median)
exp=$(cut -d' ' -f3 "$work/times" | median)
echo "rounds: $rounds (medians, microseconds)"
echo "vexil import:  $imp"
echo "tmxrasterizer: $ras"
echo "vexil export:  $exp"
awk -v i="$imp" -v r="$ras" -v e="$exp" 'BEGIN { printf "import / tmxrasterizer: %.3f\nexport / tmxrasterizer: %.3f\n", i / r, e / r }'
