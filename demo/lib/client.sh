# Shared by the client's demo parts (sourced): a demo game folder and the headless client in it,
# driven through its console. Expects $bin and $work.

# make_game DIR PORT: the game's executable, the companion program, mplayer.ini with Port=PORT,
# data and terrain files, and the client itself; no router of this machine's network is asked
# to open a port.
make_game() {
  local game=$1 port=$2
  mkdir -p "$game/data"
  printf 'MZ demo game executable' >"$game/volkarmmp.exe"
  printf '#!/bin/sh\nexit 0\n' >"$game/wdnhelp.exe"
  chmod +x "$game/wdnhelp.exe"
  printf '[KnownServers]\r\n[MetaServers]\r\nServer=TCP:192.0.2.61:6001\r\nPort=%s\r\n' "$port" >"$game/mplayer.ini"
  printf 'FMPARAM3 flight model of the Sopwith Camel, version 1917.2' >"$game/data/fmparam3.dat"
  printf 'ACSPECS1 aircraft specifications' >"$game/data/acspecs1.dat"
  for i in 0 1 2 3 4; do head -c $((20000 + i * 1000)) /dev/zero | tr '\0' "$i" >"$game/data/volkar$i.ted"; done
  printf 'PortMapping=off\r\n' >"$game/WDNplyr-settings.txt"
  if [[ -x "$bin/WDNplyr" ]]; then cp "$bin/WDNplyr" "$game/WDNplyr"; else cp "$bin/vkheadlessplyr" "$game/WDNplyr"; fi
}

# start_client GAME: the headless client in GAME, its console on fd 3, its output in $work/client.log.
start_client() {
  rm -f "$work/console"
  mkfifo "$work/console"
  "$1/WDNplyr" --headless <"$work/console" >"$work/client.log" 2>&1 &
  client=$!
  exec 3>"$work/console"
}

# wait_for TEXT: until the client's log holds TEXT.
wait_for() {
  for _ in $(seq 400); do
    grep -qF -- "$1" "$work/client.log" && return 0
    kill -0 "$client" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the client never logged: $1"
  tail -n 40 "$work/client.log"
  return 1
}

# say COMMAND...: sends each command of the control language and waits for its completion line.
say() {
  local line n
  for line in "$@"; do
    n=$(grep -c '^= ' "$work/client.log" || true)
    echo "$line" >&3
    for _ in $(seq 600); do
      (( $(grep -c '^= ' "$work/client.log" || true) > n )) && break
      sleep 0.1
    done
  done
}

# show_from TEXT: the client's output from the first line holding TEXT on, indented.
show_from() { sed -n "/$1/,\$p" "$work/client.log" | sed 's/^/   /'; }
