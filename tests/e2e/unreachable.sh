#!/usr/bin/env bash
# What the network reports about a request, inside network namespaces of the
# test's own: the device 10.122.0.2 sits in a second namespace behind a veth
# pair, and 10.122.0.9, on the same link, is no host at all.
# - With nothing listening on the device's port 161, each send draws an ICMP
#   port unreachable from the device: the walk ends at once, and says so.
# - An agent that stops after two rows, so that the third request's second
#   send draws a port unreachable, and is back before the third send: the
#   report costs no answer its chance, and every row comes.
# - No host behind the address: the walk keeps its fifteen seconds, and names
#   the host unreachable that Linux reports from the walker's own address.
# - A flood of port unreachables forged from 10.122.0.3, another host on the
#   link, about the walker's requests to a device at 10.122.0.4 that answers
#   each in 20 ms: they cost no row, no send, and no attempt's time, and each
#   attempt hears at most a hundred of them.
# Usage: unreachable.sh path/to/tarnwick
. "$(dirname "$0")/lib.sh"
open_test "$1" python3

start_device_link tw-u0 tw-u1 10.122.0
no_reply='ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a problem communicating with the device.'

# Nothing listens yet.
start=$(date +%s%N)
in_ns "$bin" 10.122.0.2 public > "$work/closed"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "nothing listens: exit status 2 ($code)" [ "$code" -eq 2 ]
check "nothing listens: ends at once ($ms ms)" [ "$ms" -lt 2000 ]
check "nothing listens: the report, then the no-reply line" [ "$(grep '^ERROR' "$work/closed")" = \
  "ERROR: 10.122.0.2 reports that nothing listens on UDP port 161 there, or a firewall rejects it (ICMP port unreachable)
$no_reply" ]

# No host behind 10.122.0.9, walked while the agent below restarts.
start_nohost=$(date +%s%N)
in_ns "$bin" 10.122.0.9 public > "$work/nohost" &
nohost=$!

start_responder in_peer 10.122.0.2 10.122.0.2 0 0 - - restart
start=$(date +%s%N)
in_ns "$bin" 10.122.0.2 public -d > "$work/restart"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "an agent that restarts: exit status 0 ($code)" [ "$code" -eq 0 ]
check "an agent that restarts: every row" [ "$(table_rows < "$work/restart" | grep -c $'^10.122.9.[123]\t02-00-00-00-00-0[123]\t1$')" -eq 3 ]
check "an agent that restarts: its port unreachable was seen" grep -q 'a report from 10.122.0.2: ICMP port unreachable' "$work/restart"
check "an agent that restarts: the report shortened no wait ($ms ms)" [ "$ms" -ge 9500 ]

wait "$nohost"
code=$?
ms=$(( ($(date +%s%N) - start_nohost) / 1000000 ))
check "no host: exit status 2 ($code)" [ "$code" -eq 2 ]
check "no host: the walk keeps its fifteen seconds ($ms ms)" [ "$ms" -ge 14500 ]
check "no host: the host unreachable, then the no-reply line" [ "$(grep '^ERROR' "$work/nohost")" = \
  "ERROR: 10.122.0.1 reports that 10.122.0.9 cannot be reached (ICMP host unreachable)
$no_reply" ]

# The flood, at most 150,000 reports a second for at most 20 seconds.
in_peer ip addr add 10.122.0.3/24 dev tw-u1
in_peer ip addr add 10.122.0.4/24 dev tw-u1
start_responder in_peer 10.122.0.4 10.122.0.4 0.02 0 - - table 100
ip netns exec "$peer_ns" python3 "$here/flood.py" 10.122.0.3 150000 20 > "$work/flood" 2>&1 &
flood=$!
agent_pids+=($flood)
for _ in $(seq 100); do [ -s "$work/flood" ] && break; sleep 0.05; done
start=$(date +%s%N)
in_ns "$bin" 10.122.0.4 public -d > "$work/flooded"
code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
kill "$flood"
wait "$flood"
read -r sent seconds < <(tail -n 1 "$work/flood")
heard=$(grep -o 'a report from 10.122.0.3' "$work/flooded" | wc -l)
attempts=$(grep -o 'Sending GETNEXT' "$work/flooded" | wc -l)
check "a flood: the reports reached the walk, which heard at most 100 in each of its $attempts attempts ($sent sent in $seconds s, $heard heard)" \
  [ "$heard" -ge 100 -a "$heard" -le $((100 * attempts)) ]
check "a flood: exit status 0 ($code)" [ "$code" -eq 0 ]
check "a flood: every row" [ "$(table_rows < "$work/flooded" | grep -c $'^10.122.9.[0-9]*\t02-00-00-00-00-')" -eq 100 ]
check "a flood: no send failed" [ "$(grep -c 'failed:' "$work/flooded")" -eq 0 ]
check "a flood: the walk is not held up ($ms ms; a lost attempt would add 5,000)" [ "$ms" -lt 5000 ]

if [ $failures -ne 0 ]; then
  for f in closed restart nohost; do echo "== $f" >&2; cat "$work/$f" >&2; done
  echo "== flooded, without the reports" >&2
  grep -v '^a report' "$work/flooded" | sed 's/a report from 10.122.0.3: ICMP port unreachable...//g' | head -c 20000 >&2
fi
[ $failures -eq 0 ]
