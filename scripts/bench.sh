#!/usr/bin/env bash
# Every benchmark: installs what is missing, builds an optimised tree into build-bench/,
# runs each benchmark; each prints its figures on one line, the ratio included.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVK_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)"
for b in build-bench/bench/*; do
  [[ -x "$b" && -f "$b" ]] && "$b"
done
# Live capture under load, in a network namespace (root only; says so and skips otherwise).
bench/live_capture_bench.sh build-bench
