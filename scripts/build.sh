#!/usr/bin/env bash
# Configures and builds the whole repository into build/ (programs in build/bin).
# Extra arguments go to cmake's configure step.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake -S . -B build -G Ninja "$@" >/dev/null
cmake --build build -j"$(nproc)"
