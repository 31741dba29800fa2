#!/usr/bin/env bash
# The handheld's frame budget, counted in the target's own instructions: runs `capture --bench` (the whole
# demo at 50 fps) of the cross-build that cross-check.sh made in build-ARCH/ under qemu-user with the guest
# instruction counter, prints every section's median and largest frame and the start-up, and fails when any
# of them is over the budget:
#   every section's median frame   at most 3 M instructions
#   every single frame             at most 6 M
#   start-up and the first frame   at most 40 M
#
#   tools/scripts/frame-budget.sh aarch64|armhf|armhf-neon [--functions LIST|all]   (LIST: "2 6" or 2,6)
#
# --functions lists the busiest functions of those sections (default: of the sections over the budget).
# An overrun that is known and not yet mended is listed in tools/scripts/frame-budget.known with the most
# it may reach (ARCH SECTION median|largest CEILING_M, then why); it is reported as such, and fails only
# once it grows past its ceiling. Every other overrun fails.
# The counter is ../shared/tools/insn-count/insn-count.sh beside this repository (or beside the repository
# it was cloned from), or the script named by $INSN_COUNT; it needs Debian's dynamically linked qemu-user
# (installed here when missing), since the -static builds load no plugins. The counts are exact and
# repeatable: the same tree gives the same table on any machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

usage() {
  echo "usage: frame-budget.sh aarch64|armhf|armhf-neon [--functions LIST|all]" >&2
  exit 2
}
[ $# -ge 1 ] || usage
arch=$1
shift
functions=""
case "${1:-}" in
  "") ;;
  --functions) functions=${2:?--functions needs a list}; functions=${functions//,/ }; shift 2 ;;
  *) usage ;;
esac
[ $# -eq 0 ] || usage
case "$arch" in
  aarch64) guest=aarch64 ;;
  armhf | armhf-neon) guest=armhf ;;
  *) usage ;;
esac
build=$root/build-$arch
[ -x "$build/tools/capture/capture" ] || {
  echo "frame-budget: no $build/tools/capture/capture: run tools/scripts/cross-check.sh $arch first" >&2
  exit 1
}

counter=${INSN_COUNT:-}
if [ -z "$counter" ]; then
  counter=$root/../shared/tools/insn-count/insn-count.sh
  origin=$(git remote get-url origin 2>/dev/null || true)
  if [ ! -f "$counter" ] && [ -d "$origin" ]; then
    counter=$(cd "$origin" && cd .. && pwd)/shared/tools/insn-count/insn-count.sh
  fi
fi
[ -f "$counter" ] || {
  echo "frame-budget: the instruction counter $counter is not there: set INSN_COUNT" >&2
  exit 1
}
bash tools/scripts/install-deps.sh demo qemu-user >/dev/null

limit_median=3000000 limit_frame=6000000 limit_startup=40000000
out=$build/frame-budget
args=(--out "$out" --budget 3)
[ -z "$functions" ] || args+=(--functions "$functions")
[ -n "$functions" ] || args+=(--functions none)
bash "$counter" "$guest" "$build" "$build/sysroot" "${args[@]}" | tee "$out.txt"

# The verdict from the raw counts: summary.txt holds section, median, largest; frame 0 is the start-up.
known=$root/tools/scripts/frame-budget.known
[ -f "$known" ] || known=/dev/null
accepted=$(awk -v arch="$arch" -v m="$limit_median" -v f="$limit_frame" '
  NR == FNR { if ($1 == arch) { ceiling[$2 " " $3] = $4 * 1e6; $1 = $2 = $3 = $4 = ""; why[$2 " " $3] = $0 }
              next }
  function check(s, what, v, limit) {
    if (v <= limit) return
    k = s " " what
    if ((k in ceiling) && v <= ceiling[k])
      printf "section %d: %s frame %.2f M is over the budget of %.0f M, known, accepted up to %.2f M\n",
        s, what, v / 1e6, limit / 1e6, ceiling[k] / 1e6
  }
  { check($1, "median", $2, m); check($1, "largest", $3, f) }
' "$known" "$out/summary.txt")
over=$(awk -v arch="$arch" -v m="$limit_median" -v f="$limit_frame" '
  NR == FNR { if ($1 == arch) ceiling[$2 " " $3] = $4 * 1e6; next }
  function check(s, what, v, limit) {
    if (v <= limit) return
    k = s " " what
    if ((k in ceiling) && v <= ceiling[k]) return
    printf "section %d: %s frame %.2f M is over the budget of %.0f M%s\n", s, what, v / 1e6, limit / 1e6,
      (k in ceiling) ? sprintf(" and past its known ceiling of %.2f M", ceiling[k] / 1e6) : ""
  }
  { check($1, "median", $2, m); check($1, "largest", $3, f) }
' "$known" "$out/summary.txt")
over+=$(awk -v s="$limit_startup" '!/^#/ && $1 == 0 && $2 > s {
  printf "\nstart-up and first frame: %.1f M is over the budget of %.0f M", $2 / 1e6, s / 1e6 }' "$out/frames.txt")
over=$(printf '%s\n' "$over" | sed '/^$/d')
if [ -n "$over" ]; then
  echo
  echo "frame-budget $arch: OVER BUDGET"
  printf '%s\n' "$over"
  [ -z "$accepted" ] || printf '(and known, within their ceilings:)\n%s\n' "$accepted"
  [ -n "$functions" ] || bash "$counter" "$guest" "$build" "$build/sysroot" --out "$out" \
    --functions "$(printf '%s\n' "$over" | awk '{ sub(":", "", $2); printf "%d ", $2 }')" |
    sed -n '/busiest functions/,$p'
  exit 1
fi
if [ -n "$accepted" ]; then
  echo
  echo "frame-budget $arch: known overruns (tools/scripts/frame-budget.known), none past its ceiling:"
  printf '%s\n' "$accepted"
  echo "frame-budget $arch: everything else within budget (median frames <= 3 M, every frame <= 6 M, start-up <= 40 M)"
  exit 0
fi
echo "frame-budget $arch: within budget (median frames <= 3 M, every frame <= 6 M, start-up <= 40 M)"
