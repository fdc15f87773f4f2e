#!/usr/bin/env bash
# A home network in three network namespaces, linked only to each other: a player behind a
# router that masquerades to an "internet", the router running a real miniupnpd (UPnP IGD and
# NAT-PMP, or NAT-PMP alone). Sourced by the port-mapping tests.
#
#   player  p0 10.77.1.2/24 --- r0 10.77.1.1/24  router  r1 11.77.0.1/24 --- i0 11.77.0.2/24  internet
#
# miniupnpd refuses to forward anything while its outside address is private or reserved, so
# the outside link has an ordinary address; it exists only inside these namespaces.
tag=${VK_NETNS_TAG:-vkpm$$}
player=$tag-player
router=$tag-router
inet=$tag-inet
outside=11.77.0.1
work=${work:-$(mktemp -d)}

netns_up() {
  ip netns add "$player"
  ip netns add "$router"
  ip netns add "$inet"
  ip link add p0 netns "$player" type veth peer name r0 netns "$router"
  ip link add r1 netns "$router" type veth peer name i0 netns "$inet"
  ip -n "$player" addr add 10.77.1.2/24 dev p0
  ip -n "$router" addr add 10.77.1.1/24 dev r0
  ip -n "$router" addr add $outside/24 dev r1
  ip -n "$inet" addr add 11.77.0.2/24 dev i0
  for ns in "$player" "$router" "$inet"; do ip -n "$ns" link set lo up; done
  ip -n "$player" link set p0 up
  ip -n "$router" link set r0 up
  ip -n "$router" link set r1 up
  ip -n "$inet" link set i0 up
  ip -n "$player" route add default via 10.77.1.1
  ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
  # The router's tables, as miniupnpd's own set-up script would make them, named in its
  # configuration; and the masquerading of the home network.
  ip netns exec "$router" nft -f - <<NFT
table inet vkfilter {
  chain forward { type filter hook forward priority 0; policy accept; jump miniupnpd; }
  chain miniupnpd { }
}
table inet vknat {
  chain prerouting { type nat hook prerouting priority -100; policy accept; jump prerouting_miniupnpd; }
  chain postrouting { type nat hook postrouting priority 100; policy accept;
                      oifname "r1" masquerade; jump postrouting_miniupnpd; }
  chain prerouting_miniupnpd { }
  chain postrouting_miniupnpd { }
}
NFT
}

# miniupnpd_start yes|no : with UPnP IGD or NAT-PMP alone.
miniupnpd_start() {
  cat >"$work/miniupnpd.conf" <<CONF
ext_ifname=r1
listening_ip=r0
port=5555
enable_upnp=$1
enable_natpmp=yes
secure_mode=yes
system_uptime=yes
notify_interval=60
clean_ruleset_interval=600
uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b
upnp_table_name=vkfilter
upnp_nat_table_name=vknat
upnp_forward_chain=miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
allow 1024-65535 10.77.1.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
CONF
  ip netns exec "$router" miniupnpd -d -f "$work/miniupnpd.conf" -P "$work/miniupnpd.pid" >"$work/miniupnpd.log" 2>&1 &
  miniupnpd_pid=$!
  sleep 1
}

miniupnpd_stop() {
  [[ -n "${miniupnpd_pid:-}" ]] && kill "$miniupnpd_pid" 2>/dev/null && wait "$miniupnpd_pid" 2>/dev/null
  miniupnpd_pid=
}

netns_down() {
  miniupnpd_stop || true
  for ns in "$player" "$router" "$inet"; do ip netns del "$ns" 2>/dev/null || true; done
}
