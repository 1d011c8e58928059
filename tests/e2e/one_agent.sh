#!/usr/bin/env bash
# One agent per walk, decided before the first send, and nothing sent said at
# once, inside a network namespace of this test's own: a broadcast walk keeps
# to the first device to answer, from whatever port; forged replies are set
# aside where interface data could pass a device's address for a broadcast
# address; an unknown name, and a stop request while the name server is
# silent, end the program at once.
# Usage: one_agent.sh path/to/tarnwick
bin=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
need_namespace
command -v python3 >/dev/null || { echo "SKIPPED: python3 is not installed" >&2; exit $E2E_SKIP; }

start_agent_devices
check_one_agent 10.77.0.1 10.77.0.255 "$bin"
check_one_agent 10.79.0.1 10.79.0.1 "$bin"
check_one_agent 10.78.0.1 10.78.0.1 "$bin"

start=$(date +%s%N)
in_ns "$bin" no-such-device.invalid public > "$work/unresolved"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "an unknown name: exit status 2 ($code)" [ "$code" -eq 2 ]
cause_then_no_reply() {
  table_rows < "$work/unresolved" > "$work/lines"
  grep -q '^ERROR: The name no-such-device.invalid could not be resolved: .' "$work/lines" &&
    [ "$(sed -n 2p "$work/lines")" = "ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a problem communicating with the device." ]
}
check "an unknown name: the cause with the system's reason, then the no-reply line" cause_then_no_reply
check "an unknown name: said at once ($ms ms)" [ "$ms" -le 3000 ]

stop_while_resolving tarnwick "$bin"

[ $failures -eq 0 ]
