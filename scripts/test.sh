#!/usr/bin/env bash
# Every test: installs what is missing, builds with warnings as errors, runs CTest,
# then the fuzz targets for a short fixed time.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh -DVK_WERROR=ON
scripts/fuzz.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
