#!/usr/bin/env bash
# The player client end to end: a demo game folder is made (the game's executable, the
# companion program, mplayer.ini, data files and terrain files), WDNplyr --headless starts in
# it, checks its terrain files and listens on the port that mplayer.ini gives; the secure-server
# simulator then holds the example conversation with it over loopback. Shown: the simulator's
# report, the client's verdict and its server message log; then a short script of the control
# language blocks a server through the blocked-servers window.
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

echo "== the player client in a demo game folder"
game=$work/Volkar
mkdir -p "$game/data"
# The game's executable with a version record as Windows keeps it (UTF-16 text).
{ printf 'MZ demo game executable\0\0'; printf 'FileVersion' | sed 's/./&\x00/g'; printf '\0\0'
  printf '1.0.3.7' | sed 's/./&\x00/g'; printf '\0\0'; } >"$game/volkarmmp.exe"
# The companion program: started by the client when it is not running.
printf '#!/bin/sh\necho "wdnhelp: companion program started"\n' >"$game/wdnhelp.exe"
chmod +x "$game/wdnhelp.exe"
printf '[KnownServers]\r\nServer=192.0.2.20 27960\r\n[MetaServers]\r\nServer=192.0.2.1 6001\r\nPort=27961\r\n' >"$game/mplayer.ini"
printf 'FMPARAM3 flight model of the Sopwith Camel, version 1917.2' >"$game/data/fmparam3.dat"
printf 'ACSPECS1 aircraft specifications' >"$game/data/acspecs1.dat"
printf 'wing data' >"$game/data/wingj001.dat"
for i in 0 1 2 3 4; do head -c $((20000 + i * 1000)) /dev/zero | tr '\0' "$i" >"$game/data/volkar$i.ted"; done
: >"$game/rgb.txt"  # lets the checks run in their thread
# The demo asks no router of this machine's network to open a port.
printf 'PortMapping=off\r\n' >"$game/WDNplyr-settings.txt"
if [[ -x "$bin/WDNplyr" ]]; then cp "$bin/WDNplyr" "$game/WDNplyr"; else cp "$bin/vkheadlessplyr" "$game/WDNplyr"; fi
ls -l "$game" "$game/data" | sed 's/^/   /'

mkfifo "$work/console"
"$game/WDNplyr" --headless <"$work/console" >"$work/client.log" 2>&1 &
client=$!
exec 3>"$work/console"  # the client's console: commands go here

wait_for() {  # wait_for TEXT: until the client's log holds TEXT
  for _ in $(seq 300); do
    grep -qF -- "$1" "$work/client.log" && return 0
    kill -0 "$client" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the client never logged: $1"
  cat "$work/client.log"
  return 1
}
wait_for "[status] Ready to enter Lobby"
echo "-- the client is ready: $(grep -F ' Port=' "$work/client.log" | head -1 | sed 's/^ *| *//')"

echo "== the secure-server simulator holds the example conversation with it"
rc=0
"$bin/vksecsim" --port 50961 --game "$game" --gap 2000 || rc=$?
wait_for "[status] Go Fly Now" || rc=1
echo "showcfg" >&3
wait_for "[window] Relevant config files found by the server shown" || rc=1
echo "about" >&3
wait_for "VolkarMMP.exe version:" || rc=1
echo "== a player's script drives the windows by the names of their controls"
printf '%s\n' "click Form1.Mblockedservers" "set blockedIPs.servip 192.0.2.66" "click blockedIPs.blockserv" \
  "get blockedIPs.srvlist" >&3
wait_for '"items":["192.0.2.66"]' || rc=1
echo "exit" >&3
wait "$client" || rc=$?
client=

echo "-- the client's console (trace lines left out):"
grep -v -E '^  \| (t2?:|[0-9]{4}-[0-9]{2}-[0-9]{2}_)' "$work/client.log" | grep -v -E '^    (acspecs|fmparam|wingj|\\xC8)' || true
echo "-- verdict: $(grep -F '[status]' "$work/client.log" | tail -1)"
echo "-- files the check left in the game folder: $(cd "$game" && ls plyr-cfg.txt log-plyr-cfg.txt plyrBlockedIPs.txt | tr '\n' ' ')"
exit $rc
