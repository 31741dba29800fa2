#!/usr/bin/env bash
# Makes the README gallery: one still per section, docs/gallery-01.png .. docs/gallery-11.png.
#   tools/capture/gallery.sh [CAPTURE]    CAPTURE defaults to build/tools/capture/capture
set -euo pipefail
cd "$(dirname "$0")/../.."
capture=${1:-build/tools/capture/capture}
# Song positions (order:row) that show each section at its most typical.
positions=(0:20 1:16 2:34 4:15 5:34 7:30 9:10 13:16 16:30 18:20 19:8)
mkdir -p docs
for i in "${!positions[@]}"; do
  n=$(printf '%02d' $((i + 1)))
  "$capture" --quiet --still="${positions[$i]}" "docs/gallery-$n.png"
done
