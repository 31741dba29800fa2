#!/usr/bin/env bash
# Instructions per frame of every section, counted by callgrind over `capture --bench --callgrind` (the
# whole demo at 50 fps): the median and the largest count of a section's frames. A frame's count is
# everything the demo thread did from the previous frame's presentation to its own: the mixing done when
# the previous frame was presented, then the drawing. The instruction count is what decides whether a
# small in-order ARM core keeps up (see "Speed" in README.md), so it is measured here and not as time.
#
#   tools/scripts/frame-cost.sh [--portable] [--rep-strings] [--functions "2 4"|all|none] [--top N] [--budget N]
#
#   --portable     build with -DSHORELINE_SIMD=OFF: no SSE2 paths, the code an ARM build runs
#   --rep-strings  leave glibc's memset/memcpy choice alone (see below)
#   --functions    sections whose busiest functions (self instructions) are listed; by default those
#                  whose median frame is above the budget
#   --top N        functions listed per section (default 8)
#   --budget N     instructions per frame, in millions, that a section should stay within (default 3)
#
# Builds only `capture`, in build-cost/ (build-cost-portable/ with --portable); takes a few minutes.
# The per-frame counts stay in that folder as frame-cost.txt (section, frame, instructions).
#
# x86 glibc clears and copies blocks of 2 KiB and more with `rep stosb`/`rep movsb`, and callgrind counts
# every byte of those as an instruction: a 320x240 clear would count 307,200. ARM's memset and memcpy are
# loops of wide stores (a clear is some 10-20 thousand instructions), so by default the count is taken with
# glibc told to use its vector loops on x86 too (GLIBC_TUNABLES rep thresholds); --rep-strings counts
# the x86 default instead.
set -euo pipefail
cd "$(dirname "$0")/../.."

portable=0
rep_strings=0
functions=""
top=8
budget=3
while [ $# -gt 0 ]; do
  case "$1" in
    --portable) portable=1 ;;
    --rep-strings) rep_strings=1 ;;
    --functions) functions="$2"; shift ;;
    --functions=*) functions="${1#*=}" ;;
    --top) top="$2"; shift ;;
    --top=*) top="${1#*=}" ;;
    --budget) budget="$2"; shift ;;
    --budget=*) budget="${1#*=}" ;;
    *) echo "usage: frame-cost.sh [--portable] [--rep-strings] [--functions LIST|all|none] [--top N] [--budget N]" >&2
      exit 2 ;;
  esac
  shift
done

bash tools/scripts/install-deps.sh demo libpng-dev valgrind
dir=build-cost
simd=ON
if [ "$portable" = 1 ]; then
  dir=build-cost-portable
  simd=OFF
fi
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSHORELINE_TESTS=OFF -DSHORELINE_SIMD=$simd >/dev/null
cmake --build "$dir" -j2 --target capture >/dev/null

out="$dir/callgrind.out"
rm -f "$out"
# One output file with a part per frame; no per-line or per-instruction detail, only functions.
tunables=glibc.cpu.x86_rep_stosb_threshold=1073741824:glibc.cpu.x86_rep_movsb_threshold=1073741824
[ "$rep_strings" = 1 ] && tunables=""
GLIBC_TUNABLES=$tunables valgrind --tool=callgrind --combine-dumps=yes --dump-instr=no --dump-line=no --callgrind-out-file="$out" \
  "$dir/tools/capture/capture" --bench --callgrind --quiet >"$dir/bench-under-callgrind.txt" 2>"$dir/callgrind.log" ||
  { echo "frame-cost: callgrind run failed; see $dir/callgrind.log" >&2; exit 1; }

# Each part of the output starts with its trigger ("frame K section S") and its total ("summary:"),
# then the self cost of every function it touched. Names are compressed: "fn=(12) name" defines
# number 12 (cfn= lines define them too), "fn=(12)" refers to it. The cost line after a "calls=" line
# is the inclusive cost of that call, not the caller's own.
awk -v totals="$dir/frame-cost.txt" -v funcs="$dir/frame-functions.txt" '
  function name(spec,   id, rest) {
    if (match(spec, /^\([0-9]+\)/)) {
      id = substr(spec, 2, RLENGTH - 2)
      rest = substr(spec, RLENGTH + 2)
      if (rest != "") names[id] = rest
      return names[id]
    }
    return spec
  }
  /^desc: Trigger: Client Request: frame / {
    frame = $6
    section = ($7 == "start-up") ? 0 : $8
    counting = ($7 == "start-up" || $8 > 0)
    next
  }
  /^desc: Trigger:/ { counting = 0; next }
  /^summary: / { if (counting) print section, frame, $2 > totals; next }
  /^fn=/ { fn = name(substr($0, 4)); next }
  /^cfn=/ { name(substr($0, 5)); next }
  /^calls=/ { skip = 1; next }
  /^[0-9+*-]/ {
    if (skip) { skip = 0; next }
    if (counting && section > 0 && NF >= 2) self[section SUBSEP fn] += $NF
    next
  }
  END {
    for (k in self) { split(k, p, SUBSEP); printf "%s\t%s\t%.0f\n", p[1], p[2], self[k] > funcs }
  }
' "$out"

label="x86-64, SSE2 paths"
[ "$portable" = 1 ] && label="x86-64, portable code: SHORELINE_SIMD=OFF"
if [ "$rep_strings" = 1 ]; then label="$label; memset/memcpy as rep strings"; else label="$label; memset/memcpy as vector loops"; fi
echo "Instructions per frame at 50 fps ($label), millions; callgrind over capture --bench"
sort -k1,1n -k3,3n "$dir/frame-cost.txt" | awk -v budget="$budget" -v summary="$dir/frame-summary.txt" '
  function flush() {
    if (n == 0) return
    median = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    if (s == 0) {
      startup = v[n]
    } else {
      printf "%7d  %6d  %8.2f  %9.2f%s\n", s, n, median / 1e6, v[n] / 1e6, (median > budget * 1e6) ? "  over" : ""
      print s, median > summary
    }
    n = 0
  }
  BEGIN { print "section  frames  median   largest"; s = -1 }
  $1 != s { flush(); s = $1 }
  { v[++n] = $3 }
  END { flush(); printf "start-up and first frame: %.1f M\n", startup / 1e6 }
'

case "$functions" in
  none) list="" ;;
  all) list=$(seq 1 11) ;;
  "") list=$(awk -v budget="$budget" '$2 > budget * 1e6 { print $1 }' "$dir/frame-summary.txt") ;;
  *) list="$functions" ;;
esac
for s in $list; do
  echo
  echo "section $s: busiest functions, self instructions as a share of the section's total"
  awk -F '\t' -v s="$s" '$1 == s { print $3 "\t" $2 }' "$dir/frame-functions.txt" | sort -k1,1nr |
    awk -F '\t' -v top="$top" '{ all += $1; if (NR <= top) { c[NR] = $1; f[NR] = $2 } }
      END { for (i = 1; i <= top && i in c; i++) printf "  %5.1f%%  %s\n", 100 * c[i] / all, f[i] }'
done
rm -f "$out"
