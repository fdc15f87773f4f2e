#!/usr/bin/env bash
# The demo: installs what is missing, builds, then runs each demo/*.sh part in order.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh
for part in demo/*.sh; do
  [[ -f "$part" ]] && bash "$part"
done
