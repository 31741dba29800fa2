#!/usr/bin/env bash
# CI stage: one whole-demo offline capture under valgrind's memcheck: `capture --digest` plays every
# frame at 50 fps and mixes the whole soundtrack. Passes only if memcheck finds no error, nothing is
# definitely lost, and the printed table equals tests/capture/regression_table.inc.
#   tools/scripts/memcheck-capture.sh      build folder: build-memcheck/
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=build-memcheck
bash tools/scripts/install-deps.sh memcheck
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target capture >/dev/null

table=$dir/memcheck-digest.inc
status=0
valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --log-file="$dir/memcheck.log" \
  "$dir/tools/capture/capture" --digest >"$table" || status=$?
cat "$dir/memcheck.log"
if [ "$status" -ne 0 ]; then
  echo "memcheck-capture: capture --digest under memcheck ended with status $status (99: memcheck errors)" >&2
  exit 1
fi
if ! cmp -s "$table" tests/capture/regression_table.inc; then
  echo "memcheck-capture: the digest under memcheck differs from tests/capture/regression_table.inc" >&2
  diff "$table" tests/capture/regression_table.inc | head -n 20 >&2 || true
  exit 1
fi
echo "memcheck-capture: no errors, nothing definitely lost, digest as committed"
