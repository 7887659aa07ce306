#!/bin/sh
# Times the converter against Tiled's own renderer in one run, the rounds
# alternating so that the machine's load falls on all alike, and prints the
# medians and their ratios:
#   bench.tmx  300 x 200 cells of 1,000 distinct 16 x 16 tiles: vexil import
#              and vexil export against tmxrasterizer, wall time
#   game.tmx   a real game's kind of map (bench/tmxgame.h): 150 x 120 cells
#              of 32 pixels, nine layers, thirty tilesets of 16 to 96 pixels,
#              partly transparent tiles: vexil import against tmxrasterizer,
#              CPU time (every thread), and the import's peak resident size
#              against the decoded tileset images plus the output map
# Usage: bench/tmx_ratio.sh [BUILD_DIR] [ROUNDS]
set -e
build=${1:-build}
rounds=${2:-15}
vexil=$build/tools/vexil
run="$build/bench/vexil_tmxmap --run"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
images=$("$build/bench/vexil_tmxmap" "$work")
"$vexil" import "$work/bench.tmx" -o "$work/bench.fmp"
export QT_QPA_PLATFORM=offscreen

now() { date +%s%N; }
for i in $(seq "$rounds"); do
  t0=$(now); "$vexil" import "$work/bench.tmx" -o "$work/in.fmp"
  t1=$(now); tmxrasterizer "$work/bench.tmx" "$work/tiled.png" >/dev/null 2>&1
  t2=$(now); "$vexil" export "$work/bench.fmp" -o "$work/out.tmx"
  t3=$(now)
  game=$($run "$vexil" import "$work/game.tmx" -o "$work/game.fmp")
  tiled=$($run tmxrasterizer "$work/game.tmx" "$work/game.png" 2>/dev/null)
  echo "$(( (t1 - t0) / 1000 )) $(( (t2 - t1) / 1000 )) $(( (t3 - t2) / 1000 )) $game $tiled"
done > "$work/times"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
imp=$(cut -d' ' -f1 "$work/times" | median)
ras=$(cut -d' ' -f2 "$work/times" | median)
exp=$(cut -d' ' -f3 "$work/times" | median)
gcpu=$(cut -d' ' -f4 "$work/times" | median)
grss=$(cut -d' ' -f5 "$work/times" | median)
tcpu=$(cut -d' ' -f6 "$work/times" | median)
out=$(wc -c < "$work/game.fmp")
echo "rounds: $rounds (medians, microseconds; sizes in KiB)"
echo "bench.tmx  vexil import:  $imp"
echo "bench.tmx  tmxrasterizer: $ras"
echo "bench.tmx  vexil export:  $exp"
echo "game.tmx   vexil import CPU:  $gcpu"
echo "game.tmx   tmxrasterizer CPU: $tcpu"
echo "game.tmx   import peak resident size: $grss"
echo "game.tmx   decoded tileset images: $(( images / 1024 )), output map: $(( out / 1024 ))"
awk -v i="$imp" -v r="$ras" -v e="$exp" -v g="$gcpu" -v t="$tcpu" -v m="$grss" -v d="$images" -v o="$out" 'BEGIN {
  printf "bench.tmx import / tmxrasterizer: %.3f\n", i / r
  printf "bench.tmx export / tmxrasterizer: %.3f\n", e / r
  printf "game.tmx import CPU / tmxrasterizer CPU: %.3f (target <= 0.1)\n", g / t
  printf "game.tmx import peak / (images + map): %.2f (target < 4)\n", m * 1024 / (d + o)
}'
