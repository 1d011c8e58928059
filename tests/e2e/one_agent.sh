#!/usr/bin/env bash
# One agent per walk, decided before the first send, and nothing sent said at
# once, inside a network namespace of this test's own:
# - asked at a broadcast address, two responders answer every request; the
#   first to answer is the walk's one agent, from whatever port it answers, and
#   the other's replies are set aside, so the table is one device's;
# - asked at one device's address, a forged reply from 127.0.0.1 comes first
#   and is set aside, also where interface data could pass that address for a
#   broadcast address: an interface without one (Linux then reports the
#   interface's own address), and the far end of a /31 link;
# - a name that cannot be resolved gives a line that names the cause, then the
#   no-reply line, at once, with exit status 2;
# - a request to stop while the resolver waits for a silent name server ends
#   the program at once, with 128 + the signal's number.
# Usage: one_agent.sh path/to/tarnwick
bin=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
need_namespace
command -v python3 >/dev/null || { echo "SKIPPED: python3 is not installed" >&2; exit $E2E_SKIP; }

make_agent_networks
start_agent_responders
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

# A name server that never answers, and a resolver that waits 5 seconds for it.
cat > "$work/silent.py" <<'PY'
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(('127.0.0.1', 53))
print('ready', flush=True)
while True: s.recvfrom(4096)
PY
in_ns python3 "$work/silent.py" > "$work/ready.dns" 2>&1 &
agent_pids+=($!)
for _ in $(seq 100); do [ -s "$work/ready.dns" ] && break; sleep 0.05; done
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:1\n' > "/etc/netns/$ns/resolv.conf"
# Started directly, not through a shell function, so that $! is the program.
ip netns exec "$ns" "$bin" slow-name.invalid public > "$work/resolving" &
pid=$!
sleep 0.3
start=$(date +%s%N)
kill -TERM "$pid"
wait "$pid"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "SIGTERM while the name resolves: exit status 143 ($code)" [ "$code" -eq 143 ]
check "SIGTERM while the name resolves: at once ($ms ms)" [ "$ms" -le 100 ]
check "SIGTERM while the name resolves: the header was written" grep -q '^---------------' "$work/resolving"

[ $failures -eq 0 ]
