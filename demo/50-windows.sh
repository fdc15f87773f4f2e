#!/usr/bin/env bash
# Two of the player's windows driven by a script through the console's control language: the
# connectivity self-test (its local test against the client's own listener, over loopback) and
# the patch switcher (a flight-model patch turned on and off again, the game's own file back
# byte for byte).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${VK_BIN:-$root/build/bin}
work=$(mktemp -d)
client=
cleanup() {
  exec 3>&- 2>/dev/null || true
  [[ -n "$client" ]] && kill "$client" 2>/dev/null && wait "$client" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
source "$root/demo/lib/client.sh"

game=$work/Volkar
make_game "$game" 27962
# A patch area with the game's own flight model and a patch that replaces it.
mkdir -p "$game/data/multi/camel-1918"
printf 'FMPARAM3 the game'"'"'s own flight model' >"$game/data/multi/fmparam3.dat"
printf 'FMPARAM3 the Camel as flown in 1918' >"$game/data/multi/camel-1918/fmparam3.dat"
printf 'The Camel of 1918, with the 150 hp engine.\r\n' >"$game/data/multi/camel-1918/readme.txt"
start_client "$game"
wait_for "[status] Ready to enter Lobby"
rc=0

echo "== the self-test: the local test against the client's own listener"
# Every address the test uses is this computer's loopback.
say "set selftest.pingsite 127.0.0.1" "click Form1.Mselftest" "set selftest.locIP 127.0.0.1" \
    "set selftest.wdnports 50962" "click selftest.testLocalnow"
wait_for "Local IP test seems to be OK..." || rc=1
say "click selftest.savelog" "hide selftest"
grep -F -e "[self test]" -e "[box]" "$work/client.log" | grep -v -E "inet6|valid_lft|^\[self test\]  +" | sed 's/^/   /' | tail -n 25
echo "-- saved: $(ls "$game" | grep -F Self-test) ($(wc -l <"$game/WDNplyr-Self-test.txt") lines)"

echo "== the patch switcher: a flight-model patch on and off again"
before=$(md5sum <"$game/data/multi/fmparam3.dat")
say "click Form1.Mfmswitch" "get patchsw.patchav" "select patchsw.patchav 0" "click patchsw.turnon" \
    "get patchsw.actpat"
echo "-- with the patch on, data/multi/fmparam3.dat reads: $(cat "$game/data/multi/fmparam3.dat")"
say "select patchsw.patchav 0" "click patchsw.turnoff" "get patchsw.stat" "click patchsw.wrdone"
after=$(md5sum <"$game/data/multi/fmparam3.dat")
echo "-- with it off again: $(cat "$game/data/multi/fmparam3.dat")"
[[ "$before" == "$after" ]] && echo "-- the game's own file is back byte for byte" || { echo "demo: the file differs"; rc=1; }
grep -F -e "> " -e "= " -e "[box]" "$work/client.log" | sed -n '/click Form1.Mfmswitch/,$p' | cut -c1-160 | sed 's/^/   /'

echo "exit" >&3
wait "$client" || rc=$?
client=
exit $rc
