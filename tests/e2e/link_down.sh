#!/usr/bin/env bash
# A walk whose own link goes down while it waits and comes back before its
# last send, inside network namespaces of the test's own. The device drops
# the first send of the second request; the walker's link goes down 1.5 s
# into that attempt and comes back 5 s later. The second send is refused and
# still waits out its attempt, so the third goes out at 10 s, over the link
# that is back, and is answered: every row, exit status 0.
# Then a walk whose route to the device goes away while the first answer is
# on its way (the device takes a second to answer), and comes back 2 s later:
# the second request's first send is refused and still waits out its attempt,
# so its second send, at 6 s, is answered.
# Then a walk that starts while its link's queue drops every datagram, for
# 200 ms: its first sends are refused (no buffer space), the attempt pauses a
# second, and the next one goes out: every row of 30, exit status 0.
# Usage: link_down.sh path/to/tarnwick
. "$(dirname "$0")/lib.sh"
open_test "$1" python3

# The device lives in a namespace of its own: an address of the walker's own
# namespace would be reached over loopback, whatever its link does.
start_device_link tw-l0 tw-l1 10.120.0
start_responder in_peer 10.120.0.2 10.120.0.2 0 0 - - lossy

start=$(date +%s%N)
in_ns "$bin" 10.120.0.2 public -d > "$work/link" &
pid=$!
sleep 1.6
in_ns ip link set tw-l0 down
sleep 5
in_ns ip link set tw-l0 up
wait "$pid"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "a link down and back: exit status 0 ($code)" [ "$code" -eq 0 ]
check "a link down and back: the device's row" grep -qxF $'10.120.0.2\t02-00-00-00-00-02\t1' "$work/link"
check "a link down and back: one send refused" [ "$(grep -c 'failed: ' "$work/link")" -eq 1 ]
check "a link down and back: the refused send waited out its attempt ($ms ms)" [ "$ms" -ge 9500 ]

# The second device answers after a second; the route to it goes at 0.5 s.
# Answers still come in over the link: no check of the route back drops them.
in_ns sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.tw-l0.rp_filter=0
in_peer ip addr add 10.120.0.3/24 dev tw-l1
start_responder in_peer 10.120.0.3 10.120.0.3 1 0 - - row
start=$(date +%s%N)
in_ns "$bin" 10.120.0.3 public -d > "$work/route" &
pid=$!
sleep 0.5
in_ns ip route del 10.120.0.0/24 dev tw-l0
sleep 2
in_ns ip route add 10.120.0.0/24 dev tw-l0 src 10.120.0.1
wait "$pid"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "a route gone after the first answer: exit status 0 ($code)" [ "$code" -eq 0 ]
check "a route gone after the first answer: the device's row" grep -qxF $'10.120.0.3\t02-00-00-00-00-03\t1' "$work/route"
check "a route gone after the first answer: the next request's first send refused" \
  [ "$(grep -c 'failed: ' "$work/route")" -eq 1 ]
check "a route gone after the first answer: the refused send waited out its attempt ($ms ms)" [ "$ms" -ge 5500 ]

# The device's link address is known, so that the datagram itself meets the
# queue (an unresolved one would wait for ARP and be lost in silence).
in_peer ip addr add 10.120.0.4/24 dev tw-l1
start_responder in_peer 10.120.0.4 10.120.0.4 0 0 - - table 30
in_ns ip neigh replace 10.120.0.4 lladdr "$(in_peer cat /sys/class/net/tw-l1/address)" dev tw-l0 nud permanent
in_ns tc qdisc add dev tw-l0 root pfifo limit 0
start=$(date +%s%N)
in_ns "$bin" 10.120.0.4 public -d > "$work/outage" &
pid=$!
sleep 0.2
in_ns tc qdisc del dev tw-l0 root
wait "$pid"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "an outage at the start: exit status 0 ($code)" [ "$code" -eq 0 ]
check "an outage at the start: every row" [ "$(table_rows < "$work/outage" | grep -c $'^10.122.9.[0-9]*\t')" -eq 30 ]
check "an outage at the start: the first send refused for want of buffer space" \
  grep -q 'failed: No buffer space available' "$work/outage"
check "an outage at the start: a pause of a second, no wait of five ($ms ms)" [ "$ms" -ge 900 -a "$ms" -lt 4000 ]
[ $failures -eq 0 ] || cat "$work/link" "$work/route" "$work/outage" >&2
[ $failures -eq 0 ]
