#!/usr/bin/env bash
# Kickstart, for a player whose router cannot forward the listening port: the meta-server stub
# lists two game servers; the player refreshes the Meta Browser, switches to Kickstart mode and
# double-clicks a server; the client sends its UDP kick to the secure-server simulator beside
# that server, which answers with a TCP port, and the client connects out to it for the example
# conversation. Everything runs over loopback.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${VK_BIN:-$root/build/bin}
work=$(mktemp -d)
client= stub= sim=
cleanup() {
  exec 3>&- 2>/dev/null || true
  for p in $client $stub $sim; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

echo "== kickstart: the meta browser, a UDP kick and the connection out"
game=$work/Volkar
mkdir -p "$game/data"
printf 'MZ demo game executable' >"$game/volkarmmp.exe"
printf '#!/bin/sh\nexit 0\n' >"$game/wdnhelp.exe"
chmod +x "$game/wdnhelp.exe"
printf '[KnownServers]\r\n[MetaServers]\r\nServer=TCP:192.0.2.61:6001\r\nPort=27998\r\n' >"$game/mplayer.ini"
printf 'FMPARAM3 flight model of the Sopwith Camel, version 1917.2' >"$game/data/fmparam3.dat"
printf 'ACSPECS1 aircraft specifications' >"$game/data/acspecs1.dat"
for i in 0 1 2 3 4; do head -c $((20000 + i * 1000)) /dev/zero | tr '\0' "$i" >"$game/data/volkar$i.ted"; done
printf 'PortMapping=off\r\n' >"$game/WDNplyr-settings.txt"
if [[ -x "$bin/WDNplyr" ]]; then cp "$bin/WDNplyr" "$game/WDNplyr"; else cp "$bin/vkheadlessplyr" "$game/WDNplyr"; fi

# The meta server's list: first, second, third and fourth texts, tab-separated. The first game
# server's port is 42981, so its secure server takes kicks on UDP 41981.
printf 'Volkar II/Camel Club\tDawn patrol over Flanders\t-\tUDP:127.0.0.1:42981\n' >"$work/servers.txt"
printf 'Volkar II/Jasta 11\tRed flight\t-\tUDP:192.0.2.11:2400\n' >>"$work/servers.txt"
"$bin/vkmetastub" --list "$work/servers.txt" --port 0 >"$work/stub.log" 2>&1 &
stub=$!
"$bin/vksecsim" --kick-port 41981 --game "$game" --gap 2000 \
  --datagram "srvinf:Welcome to the Camel Club" >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q "listening on" "$work/stub.log" && break; sleep 0.1; done
meta=$(sed -n 's/.*listening on \([0-9.:]*\).*/\1/p' "$work/stub.log" | head -1)
echo "-- meta-server stub on $meta; simulator waiting for a kick on UDP 127.0.0.1:41981"

mkfifo "$work/console"
"$game/WDNplyr" --headless <"$work/console" >"$work/client.log" 2>&1 &
client=$!
exec 3>"$work/console"
wait_for() {  # wait_for TEXT: until the client's log holds TEXT
  for _ in $(seq 400); do
    grep -qF -- "$1" "$work/client.log" && return 0
    kill -0 "$client" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the client never logged: $1"
  cat "$work/client.log" "$work/sim.log"
  return 1
}
wait_for "Waiting for contact with secured game server"
rc=0
printf '%s\n' "click Form1.cantforward" "click Form1.getmetas" "set metabrws.metabrwser $meta" \
  "click metabrws.getem" "get metabrws.srvrs" "select metabrws.srvrs 0" "dblclick metabrws.srvrs" >&3
wait_for "[status] Go Fly Now" || rc=1
wait "$sim" || rc=1
sim=
echo "exit" >&3
wait "$client" || rc=$?
client=

echo "-- the player's commands and what the client showed (trace lines left out):"
grep -E '^(> |= |\[box\]|\[status\]|\[metabrws|  \| (IP\+udpWDN|Kick rcvd|Contacted|Connecting|Connected|Welcome))' \
  "$work/client.log" || true
echo "-- the simulator:"
sed 's/^/   /' "$work/sim.log"
exit $rc
