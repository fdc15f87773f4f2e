#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the demo need.
# Idempotent: asks apt only for what is missing, and updates the package lists once for that.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpcap-dev iproute2
  libssl-dev zlib1g-dev libisal-dev
  clang libclang-rt-14-dev
)
# Further packages a subsystem needs are listed one a line in scripts/packages.d/*.txt.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if compgen -G "$here/packages.d/*.txt" >/dev/null; then
  while read -r p; do
    [[ -n "$p" && "$p" != \#* ]] && packages+=("$p")
  done < <(cat "$here"/packages.d/*.txt)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
