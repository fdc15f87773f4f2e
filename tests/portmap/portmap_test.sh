#!/usr/bin/env bash
# The router opens the client's port: the headless client in a "player" namespace behind a
# "router" namespace running miniupnpd; the secure-server simulator in an "internet" namespace
# reaches the client through the router's outside address. Cases: UPnP IGD, NAT-PMP alone, no
# router, and a client killed while its ports are mapped. Needs root (namespaces, nftables);
# otherwise it says so and is skipped (exit 77).
set -uo pipefail
bin=${VK_BIN:?VK_BIN names the folder of the programs}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "needs root to make network namespaces"
for tool in ip nft miniupnpd upnpc; do command -v $tool >/dev/null || skip "$tool is not installed"; done
trap '' PIPE  # a client that ended early must not end the test on its console

# The single-instance rule counts every process named wdnplyr on this machine.
others() { pgrep -i -x wdnplyr >/dev/null; }

work=$(mktemp -d)
source "$here/netns.sh"
failures=0
passes=0
client=
cleanup() {
  exec 3>&- 2>/dev/null || true
  [[ -n "$client" ]] && kill -9 "$client" 2>/dev/null
  netns_down
  rm -rf "$work"
}
trap cleanup EXIT
netns_up || skip "network namespaces cannot be made here"

check() {  # check DESCRIPTION COMMAND...: one line of the verdict
  if "${@:2}"; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; failures=$((failures + 1)); fi
}

game=$work/Volkar
mkdir -p "$game/data"
printf 'MZ game' >"$game/volkarmmp.exe"
printf '#!/bin/sh\nexit 0\n' >"$game/wdnhelp.exe"
chmod +x "$game/wdnhelp.exe"
printf '[KnownServers]\r\n[MetaServers]\r\nServer=192.0.2.1 6001\r\nPort=27961\r\n' >"$game/mplayer.ini"
printf 'FMPARAM3 camel' >"$game/data/fmparam3.dat"
printf 'ACSPECS1 specs' >"$game/data/acspecs1.dat"
for i in 0 1 2 3 4; do printf 'terrain %s' $i >"$game/data/volkar$i.ted"; done
if [[ -x "$bin/WDNplyr" ]]; then cp "$bin/WDNplyr" "$game/WDNplyr"; else cp "$bin/vkheadlessplyr" "$game/WDNplyr"; fi

# client_start NAME: the headless client in the player namespace, its console on fd 3.
client_start() {
  log=$work/$1.log
  for _ in $(seq 300); do others || break; sleep 0.2; done
  others && skip "another wdnplyr runs on this machine; the client would end as a second instance"
  rm -f "$work/console"
  mkfifo "$work/console"
  ip netns exec "$player" "$game/WDNplyr" --headless <"$work/console" >"$log" 2>&1 &
  client=$!
  exec 3>"$work/console"
}
client_end() {
  echo "exit" >&3 2>/dev/null
  exec 3>&-
  wait "$client" 2>/dev/null
  client=
}
wait_for() {  # wait_for TEXT [SECONDS]
  for _ in $(seq $((${2:-20} * 10))); do
    grep -qF -- "$1" "$log" && return 0
    sleep 0.1
  done
  echo "     the client never logged: $1"
  tail -n 5 "$log" | sed 's/^/     | /'
  return 1
}
converse() {  # the example conversation from the internet, through the router
  ip netns exec "$inet" "$bin/vksecsim" --host "$outside" --port 50961 --game "$game" --gap 500 --timeout 5000 \
    >"$work/secsim.log" 2>&1
}
refused() { ! ip netns exec "$inet" "$bin/vksecsim" --host "$outside" --port 50961 --timeout 2000 >/dev/null 2>&1; }
router_rules() { ip netns exec "$router" nft list table inet vknat; }
no_rule_for_port() { ! router_rules | grep -q "dport 50961"; }
upnp_lists_port() { ip netns exec "$player" upnpc -l 2>/dev/null | grep -q "50961->10.77.1.2:50961"; }

echo "== UPnP IGD"
miniupnpd_start yes
client_start upnp
check "the client listens" wait_for "[status] Ready to enter Lobby" 30
check "the log tells the mapping and the Internet address" \
  wait_for "==> Router opened port 50961/TCP and 40998/UDP for you (UPnP IGD): Internet address 11.77.0.1:50961"
check "the router lists both ports" sh -c "ip netns exec $player upnpc -l | grep -q '50961->10.77.1.2:50961' &&
  ip netns exec $player upnpc -l | grep -q 'UDP 40998->10.77.1.2:40998'"
check "the leases are limited to an hour" sh -c \
  "ip netns exec $player upnpc -l | grep '50961->' | grep -Eq \"'' (3[0-5][0-9]{2}|3600)\$\""
check "the secure server reaches the client through the router" converse
check "the verdict" wait_for "[status] Go Fly Now.... Salute!"
echo "cancel" >&3
check "Cancel listen removes the mappings" wait_for "==> Router closed port 50961/TCP and 40998/UDP again (UPnP IGD)"
check "the router lists them no more" sh -c "! ip netns exec $player upnpc -l | grep -q '50961->'"
check "and a connection from the internet is refused" refused
client_end
miniupnpd_stop

echo "== NAT-PMP alone"
miniupnpd_start no
client_start natpmp
check "the client listens" wait_for "[status] Ready to enter Lobby" 30
check "the log tells the NAT-PMP mapping" \
  wait_for "==> Router opened port 50961/TCP and 40998/UDP for you (NAT-PMP): Internet address 11.77.0.1:50961"
check "the router forwards the port" sh -c "ip netns exec $router nft list table inet vknat | grep -q 'dport 50961'"
check "the secure server reaches the client through the router" converse
check "the verdict" wait_for "[status] Go Fly Now.... Salute!"
client_end
check "a normal exit removes the mappings" no_rule_for_port
check "and a connection from the internet is refused" refused

echo "== a client killed while mapped"
client_start killed
check "mapped" wait_for "==> Router opened port 50961/TCP" 30
kill -9 "$client"; wait "$client" 2>/dev/null; client=
exec 3>&-
check "the mapping stays until its lease runs out" sh -c "ip netns exec $router nft list table inet vknat | grep -q 'dport 50961'"
echo "     the router still forwards: $(router_rules | grep 'dport 50961' | sed 's/^[[:space:]]*//')"
miniupnpd_stop

echo "== no router that maps ports"
client_start norouter
check "the client is ready as always" wait_for "[status] Ready to enter Lobby" 30
check "one clear line" wait_for "==> No router that opens ports was found (UPnP IGD, NAT-PMP): forward port 50961 yourself or use Kickstart"
check "the ready status came first: the window never waited for discovery" sh -c \
  "grep -n -F -e '[status] Ready to enter Lobby' -e '==> No router' '$log' | head -1 | grep -q 'Ready to enter Lobby'"
check "and only one such line" test "$(grep -c 'No router that opens ports' "$log")" -eq 1
client_end

echo "portmap: $passes passed, $failures failed"
(( failures == 0 ))
