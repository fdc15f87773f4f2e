#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, address and undefined-behaviour sanitizers into
# build-fuzz/, then runs each for a short fixed time (FUZZ_SECONDS, default 20) on a copy of its seeds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
seconds=${FUZZ_SECONDS:-20}
san="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_FUZZ=ON -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$san" -DCMAKE_CXX_FLAGS="$san" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
shopt -s nullglob
targets=(build-fuzz/fuzz/*)
if ((${#targets[@]} == 0)); then
  echo "fuzz: no targets"
  exit 0
fi
failed=0
for t in "${targets[@]}"; do
  [[ -x "$t" && -f "$t" ]] || continue
  name=$(basename "$t")
  work=$(mktemp -d)
  [[ -d fuzz/corpus/$name ]] && cp -r "fuzz/corpus/$name/." "$work/"
  if "$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
        -artifact_prefix="build-fuzz/$name-" "$work" >"build-fuzz/$name.log" 2>&1; then
    echo "fuzz: $name ran ${seconds}s without a finding"
  else
    echo "fuzz: $name FOUND A FAULT (see build-fuzz/$name.log)"
    tail -n 40 "build-fuzz/$name.log"
    failed=1
  fi
  rm -rf "$work"
done
exit $failed
