#!/usr/bin/env bash
# Live capture under load: in a network namespace made here, a sender floods the namespace's
# loopback device with 60 players' position datagrams at rising rates (3 s a step); VKST, and then
# a bare libpcap loop on the same device with the same filter, capture it. For each, the highest
# rate at which libpcap reports no drop and every datagram sent was received; prints one line with
# the ratio and the machine's figures. Needs root (namespace, capture); run by scripts/bench.sh.
# Usage: bench/live_capture_bench.sh [BUILD_DIR]   (default build-bench)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build-bench}" && pwd)
vkst=$build/bin/VKST
flood=$build/bench/helpers/live_flood
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
if [[ $(id -u) -ne 0 ]]; then
  echo "live_capture: skipped (needs root for a network namespace and live capture)"
  exit 0
fi
[[ -x $vkst && -x $flood ]] || { echo "live_capture: $vkst or $flood is missing (build first)"; exit 1; }

ns=vkbench-live-$$
work=$(mktemp -d /tmp/vkbench-live-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$ns"
ip netns exec "$ns" ip link set lo up
in_ns() { ip netns exec "$ns" "$@"; }
nic=$(in_ns "$flood" index lo)

printf 'port=2300;\r\n' >"$work/vk2server.scs"
printf 'USEMAP=MARNE\r\nGAMELENGTHINSECONDS=0\r\n' >"$work/vk2server.ini"
head -c 99 /dev/zero >"$work/lndmrks0.dat"
# Detections are reported (console and logs), never blocked: the load stays the capture's.
printf 'nicNumber=%s;\r\nDerouteIP=;\r\nChecksum=12-200;\r\nTestUDP=0;\r\n' "$nic" >"$work/VKST.ini"
filter="udp and dst host 127.0.0.1 and dst port 2300"
rates=(10000 20000 40000 80000 120000 160000 240000 320000 480000 640000)
seconds=3
sender_best=0

wait_for() {  # file text tries
  for ((i = 0; i < $3; i++)); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

# One step: capture with $1 (vkst|bare) while sending at $2 a second; sets step_sent,
# step_reached, step_received and step_lost.
step() {
  local who=$1 rate=$2 out=$work/$1-$2.txt pid s dk di
  rm -f "$work/VKST.csv" "$work/VKST.json"
  step_sent=0 step_reached=0 step_received=0 step_lost=1
  if [[ $who == vkst ]]; then
    (cd "$work" && exec ip netns exec "$ns" "$vkst" </dev/null >"$out" 2>&1) &
    pid=$!
    pids+=("$pid")
    wait_for "$out" "Type '?'" 100 || return 0
  else
    (exec ip netns exec "$ns" "$flood" bare lo "$filter" >"$out" 2>&1) &
    pid=$!
    pids+=("$pid")
    wait_for "$out" ready 100 || return 0
  fi
  s=$(in_ns "$flood" send 127.0.0.1:2300 "$rate" "$seconds")
  sleep 0.5
  kill -INT "$pid"
  wait "$pid" || true
  step_sent=$(awk '{print $2}' <<<"$s")
  step_reached=$(awk '{print $6}' <<<"$s")
  ((step_reached > sender_best)) && sender_best=$step_reached
  if [[ $who == vkst ]]; then
    read -r step_received dk di < <(sed -n 's/^Capture statistics: \([0-9]*\) packets received, \([0-9]*\) dropped by the kernel, \([0-9]*\) dropped by the interface$/\1 \2 \3/p' "$out" | tail -n 1) || true
  else
    read -r step_received dk di < <(sed -n 's/^received \([0-9]*\) dropped \([0-9]*\) ifdropped \([0-9]*\).*/\1 \2 \3/p' "$out") || true
  fi
  step_received=${step_received:-0}
  step_lost=$(( ${dk:-1} + ${di:-0} ))
  # A loopback device shows every datagram twice (sent and received); both copies pass the filter.
  ((step_received < 2 * step_sent)) && step_lost=$((step_lost + 2 * step_sent - step_received))
  return 0
}

# Both ladders climb together, a step of each at every rate, so that both meet the same load of
# a shared machine. A ladder ends at its first loss, or where the sender fell short of the rate
# (the step then measured the sender, and "no loss up to" is all that can be said).
vkst_top=0 bare_top=0 vkst_end="sender" bare_end="sender" vkst_on=1 bare_on=1
for r in "${rates[@]}"; do
  for who in vkst bare; do
    on=${who}_on
    ((${!on})) || continue
    step "$who" "$r"
    echo "  $who at $r/s: sent $step_sent (reached $step_reached/s), received $step_received, lost $step_lost" >&2
    if ((step_lost > 0)); then
      printf -v "${who}_end" '%s' "loss at ${step_reached}/s"
      printf -v "$on" 0
    else
      printf -v "${who}_top" '%s' "$step_reached"
      ((step_reached * 10 < r * 9)) && printf -v "$on" 0
    fi
  done
  ((vkst_on || bare_on)) || break
done
ratio=$(awk -v a="$vkst_top" -v b="$bare_top" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')
echo "live_capture: highest rate without a drop on a namespace's loopback (60 players, ${seconds} s a step):" \
  "VKST ${vkst_top}/s (then ${vkst_end}), bare libpcap loop ${bare_top}/s (then ${bare_end}): ratio ${ratio};" \
  "sender reached at most ${sender_best}/s; $(nproc) CPUs, ${cpu}, load $(cut -d' ' -f1-3 /proc/loadavg)"
