#!/usr/bin/env bash
# The secure-server conversation: the simulator (vksecsim) plays a secure server against the
# player client's conversation handlers (vkconvpeer) over loopback and checks every answer:
# first the example conversation, then the enciphered CRC, the byte sum and two requests that
# name files outside the game folder, which the client refuses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${VK_BIN:-$root/build/bin}
work=$(mktemp -d)
peer=
cleanup() {
  [[ -n "$peer" ]] && kill "$peer" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

game=$work/game
mkdir -p "$game/data"
printf 'FMPARAM3 flight model of the Sopwith Camel, version 1917.2' >"$game/data/fmparam3.dat"
printf 'ACSPECS1 aircraft specifications' >"$game/data/acspecs1.dat"
printf 'wing data' >"$game/data/wingj001.dat"

converse() {  # converse TITLE PORT SIMULATOR-ARGS...
  local title=$1 port=$2
  shift 2
  echo "== conversation: $title"
  "$bin/vkconvpeer" --game "$game" --port "$port" --timeout 60 >"$work/peer.log" 2>&1 &
  peer=$!
  local rc=0
  "$bin/vksecsim" --port "$port" --game "$game" "$@" || rc=$?
  wait "$peer" || rc=$?
  peer=
  echo "-- the client's server message log (trace lines left out):"
  grep -v -E '^  \| (t2?:|[0-9]{4}-[0-9]{2}-[0-9]{2}_)' "$work/peer.log" || true
  return $rc
}

port=$((52000 + RANDOM % 2000))
converse "the example conversation" "$port" --gap 3000

cat >"$work/script.txt" <<'SCRIPT'
# Enciphered CRC, byte sum and CRC, and two names outside the game folder: the client
# answers the first two and refuses the others without touching any file.
@time
ecrc?data\fmparam3.dat
ecrc?data\missing.dat
fmparm?data\fmparam3.dat
@raw ecrc?..\..\etc\passwd\xC8
@raw id?..\planted.txt|data\fmparam3.dat\xC8
@wait 500
ver?
@verdict
srvinf:EOT:
SCRIPT
converse "cipher, byte sum and refused names" "$((port + 1))" --script "$work/script.txt"
if [[ -e "$work/planted.txt" ]]; then
  echo "demo: a file outside the game folder was created"
  exit 1
fi
echo "demo: no file outside the game folder was created"
