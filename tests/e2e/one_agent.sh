#!/usr/bin/env bash
# One agent per walk, decided before the first send, and nothing sent said at
# once, inside a network namespace of this test's own: a broadcast walk keeps
# to the first device to answer, from whatever port, whatever another host
# sent first that cannot answer; forged replies are set aside where interface
# data could pass a device's address for a broadcast address (no broadcast
# address given, a /31 link's far end, an address given with a peer); an
# unknown name, and a stop request while the name server is silent, end the
# program at once.
# Usage: one_agent.sh path/to/tarnwick
. "$(dirname "$0")/lib.sh"
open_test "$1" python3

start_agent_devices
check_one_agent 10.77.0.1 10.77.0.255 "$bin"
check_one_agent 10.79.0.1 10.79.0.1 "$bin"
check_one_agent 10.78.0.1 10.78.0.1 "$bin"

# ip addr add 10.110.0.1 peer 10.110.0.2/24 on an Ethernet-like link: glibc
# reports the peer as the interface's broadcast address. The device at the
# peer lives in a namespace of its own, so that its address is none of the
# walking machine's, and a forged row from 10.110.0.3 comes before its answer.
start_peer_namespace tw-p0 tw-p1
in_ns ip addr add 10.110.0.1 peer 10.110.0.2/24 dev tw-p0
in_ns ip link set tw-p0 up
in_peer ip addr add 10.110.0.2/24 dev tw-p1
in_peer ip addr add 10.110.0.3/24 dev tw-p1
in_peer ip link set tw-p1 up
start_responder in_peer 10.110.0.2 10.110.0.2 0.1 0 - 10.110.0.3 row
check_one_agent 10.110.0.2 10.110.0.2 "$bin"

start=$(date +%s%N)
in_ns "$bin" no-such-device.invalid public > "$work/unresolved"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "an unknown name: exit status 2 ($code)" [ "$code" -eq 2 ]
cause_then_no_reply() {
  table_rows < "$work/unresolved" > "$work/lines"
  grep -q '^ERROR: The name no-such-device.invalid could not be resolved to an IPv4 address: .' "$work/lines" &&
    [ "$(sed -n 2p "$work/lines")" = "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a problem communicating with the device." ]
}
check "an unknown name: the cause with the system's reason, then the no-reply line" cause_then_no_reply
check "an unknown name: said at once ($ms ms)" [ "$ms" -le 3000 ]

stop_while_resolving tarnwick "$bin"

[ $failures -eq 0 ]
