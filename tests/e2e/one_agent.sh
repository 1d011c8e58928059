#!/usr/bin/env bash
# One agent per walk, and nothing sent said at once, inside a network namespace
# of this test's own:
# - asked at a broadcast address, two responders answer every request; the
#   first to answer is the walk's one agent, and the other's replies are set
#   aside, so the table is one device's;
# - a name that cannot be resolved gives a line that names the cause, then the
#   no-reply line, at once, with exit status 2.
# Usage: one_agent.sh path/to/tarnwick
bin=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
need_namespace
command -v python3 >/dev/null || { echo "SKIPPED: python3 is not installed" >&2; exit $E2E_SKIP; }

# A network of its own, a pair of virtual interfaces with both ends in the
# namespace: broadcasts to 10.77.0.255 stay inside it and reach its sockets.
in_ns ip link add tw-b0 type veth peer name tw-b1
in_ns ip addr add 10.77.0.1/24 brd + dev tw-b0
in_ns ip addr add 10.77.0.2/24 brd + dev tw-b1
in_ns ip link set tw-b0 up
in_ns ip link set tw-b1 up

# Responder "own" (an address of 10.77.0.x) answers every GetNextRequest on
# port 161: the column's OID with its own address as the index, first, after
# "first" seconds; the next column after that, after "later" seconds.
cat > "$work/responder.py" <<'PY'
import socket, sys, time
own, first, later = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
def tlv(tag, body): return bytes([tag, len(body)]) + body
def oid(arcs):
    return tlv(6, bytes([40 * arcs[0] + arcs[1]]) + bytes(arcs[2:]))
column = [1, 3, 6, 1, 2, 1, 4, 22, 1, 2]
row = column + [1] + [int(x) for x in own.split('.')]
listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listen.bind(('', 161))
reply = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
reply.bind((own, 0))
print('ready', flush=True)
while True:
    request, sender = listen.recvfrom(4096)
    asked_column = oid(column) in request
    name = oid(row) if asked_column else oid(column[:-1] + [3, 1])
    value = tlv(4, bytes([2, 0, 0, 0, 0, int(own.split('.')[-1])]))
    pdu = tlv(2, b'\x7b') + tlv(2, b'\x00') + tlv(2, b'\x00') + tlv(0x30, tlv(0x30, name + value))
    message = tlv(2, b'\x00') + tlv(4, b'public') + tlv(0xA2, pdu)
    time.sleep(first if asked_column else later)
    reply.sendto(tlv(0x30, message), sender)
PY
# 10.77.0.1 answers first, and is slow with the end of its table; 10.77.0.2's
# row comes in between, naming an OID after the one the walk then asks for.
for args in "10.77.0.1 0 0.2" "10.77.0.2 0.05 0"; do
  # shellcheck disable=SC2086
  in_ns python3 "$work/responder.py" $args > "$work/ready.${args%% *}" 2>&1 &
  agent_pids+=($!)
done
for _ in $(seq 100); do
  [ -s "$work/ready.10.77.0.1" ] && [ -s "$work/ready.10.77.0.2" ] && break
  sleep 0.05
done

in_ns "$bin" 10.77.0.255 public > "$work/broadcast"
code=$?
table_rows < "$work/broadcast" > "$work/rows"
check "a broadcast walk: exit status 0 ($code)" [ "$code" -eq 0 ]
check "a broadcast walk: the table of the first device to answer, and only its" \
  [ "$(cat "$work/rows")" = $'10.77.0.1\t02-00-00-00-00-01\t1' ]

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

[ $failures -eq 0 ]
