#!/usr/bin/env bash
# tarnwick against net-snmp's snmpd serving a real kernel neighbour table, in a
# network namespace of this test's own; compared with what snmpwalk reads.
# Usage: kernel_table.sh path/to/tarnwick
. "$(dirname "$0")/lib.sh"
open_test "$1" snmpd

community="tw-e2e-$RANDOM$RANDOM"

# A veth pair inside the namespace, an address, and permanent neighbours: the
# kernel sends nothing for permanent entries.
ip -n "$ns" link add tw0 type veth peer name tw1
ip -n "$ns" addr add 10.200.0.1/16 dev tw0
ip -n "$ns" link set tw0 up
ip -n "$ns" link set tw1 up
{
  for i in $(seq 0 299); do
    printf 'neigh add 10.200.%d.%d lladdr 02:00:%02x:%02x:%02x:%02x dev tw0 nud permanent\n' \
      $((i / 250 + 1)) $((i % 250 + 1)) $((i % 7)) $((i / 256)) $((i % 256)) $(((i * 37) % 256))
  done
  # Six printable bytes: "ABCDEF".
  echo 'neigh add 10.200.9.9 lladdr 41:42:43:44:45:46 dev tw0 nud permanent'
} > "$work/neighbours"
ip -n "$ns" -batch "$work/neighbours"
count=$(ip -n "$ns" neigh show dev tw0 | grep -c PERMANENT)
check "301 permanent neighbours in the namespace" [ "$count" -eq 301 ]

# Two more communities, each granted read access to one ARP column only: an
# SNMPv1 agent ends such a view with noSuchName, which is the table's end.
arp_only="tw-arp-$RANDOM$RANDOM"
at_only="tw-at-$RANDOM$RANDOM"
start_snmpd "$community" "view arpview included .1.3.6.1.2.1.4.22.1.2
view atview included .1.3.6.1.2.1.3.1.1.2
rocommunity $arp_only 127.0.0.1 -V arpview
rocommunity $at_only 127.0.0.1 -V atview" || exit 1

for column in default old; do
  compare_walk "$bin" "$community" $column
  check "$column column: at least 301 rows" [ "$(wc -l < "$work/actual.$column")" -ge 301 ]
  check "$column column: the printable MAC is shown as bytes" grep -q "^10.200.9.9	41-42-43-44-45-46	" "$work/actual.$column"
done

compare_walk "$bin" "$arp_only" default
compare_walk "$bin" "$at_only" old
in_ns "$bin" 127.0.0.1 "$arp_only" -d > "$work/view-debug"
check "view: -d says the view has ended" grep -q "^No OID follows in the device's view$" "$work/view-debug"

# -d shows the progress lines around the rows.
in_ns "$bin" 127.0.0.1 "$community" -d > "$work/debug"
check "-d: start-up line" grep -q '^Winsock Startup...successful$' "$work/debug"
check "-d: request line" grep -q '^Sending GETNEXT: 1.3.6.1.2.1.4.22.1.2...sent$' "$work/debug"
check "-d: reply lines" grep -q '^Receiving response...completed...received...RequestID matches...No SNMP Error$' "$work/debug"
check "-d: end of the column" grep -q '^OID is outside list$' "$work/debug"
check "-d: the same rows" same_rows "$work/actual.default" <(grep -P '^\d+\.\d+\.\d+\.\d+\t' "$work/debug")

# A wrong community: the agent stays silent, three attempts of five seconds.
start=$(date +%s)
in_ns "$bin" 127.0.0.1 "not-$community" > "$work/wrong"
code=$?
elapsed=$(( $(date +%s) - start ))
check "wrong community: exit status 2" [ $code -eq 2 ]
check "wrong community: the no-reply line" grep -qx 'ERROR P1: No returned packet.  Your SNMP community string may be incorrect, or there may be a problem communicating with the device.' "$work/wrong"
check "wrong community: three attempts of five seconds ($elapsed s)" [ $elapsed -ge 14 ] && [ $elapsed -le 20 ]

# A name that cannot be resolved ends at once.
start=$(date +%s)
in_ns "$bin" no-such-agent.invalid "$community" > "$work/unresolved"
code=$?
elapsed=$(( $(date +%s) - start ))
check "unresolvable name: exit status 2" [ $code -eq 2 ]
check "unresolvable name: ends at once ($elapsed s)" [ $elapsed -le 3 ]
check "unresolvable name: header then the no-reply line" grep -q 'Agent:		no-such-agent.invalid' "$work/unresolved"

[ $failures -eq 0 ]
