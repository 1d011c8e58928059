#!/usr/bin/env bash
# The Windows program under Wine against snmpsimd on 127.0.0.1, inside a
# network namespace of this test's own, compared with the Linux program's
# output on the same agent (line ends aside: the Windows console writes CRLF).
# Then Ctrl-C while a name resolves, and the tests of one agent per walk, on
# more than 32 interfaces too.
# Usage: windows_walk.sh path/to/tarnwick.exe path/to/tarnwick
exe=$(readlink -f "$1")
. "$(dirname "$0")/lib.sh"
open_test "$2" wine
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine opens sockets in its server process: the server must run inside the
# namespace too, so it is started there, by the first Wine program, and stopped
# before the namespace goes.
before_cleanup() { in_ns wineserver -k 2>/dev/null; }
start_snmpsim "$here/../data" || exit 1
in_ns wineboot -i >/dev/null 2>&1

for args in "demo" "demo -o" "awkward" "demo -d"; do
  # shellcheck disable=SC2086
  in_ns "$bin" 127.0.0.1 $args > "$work/linux"
  linux_code=$?
  # shellcheck disable=SC2086
  in_ns wine "$exe" 127.0.0.1 $args > "$work/windows.crlf"
  windows_code=$?
  tr -d '\r' < "$work/windows.crlf" > "$work/windows"
  check "tarnwick.exe 127.0.0.1 $args: same exit status ($windows_code)" [ "$windows_code" -eq "$linux_code" ]
  check "tarnwick.exe 127.0.0.1 $args: same output" diff -u "$work/linux" "$work/windows"
  check "tarnwick.exe 127.0.0.1 $args: console line ends" grep -q $'\r$' "$work/windows.crlf"
done
check "the demo switch gave 24 rows" [ "$(in_ns "$bin" 127.0.0.1 demo | table_rows | wc -l)" -eq 24 ]

# Ctrl-C: Wine hands SIGINT to the console's control handler as CTRL_C_EVENT.
stop_a_stalled_walk tarnwick.exe wine "$exe"
# A second Ctrl-C at once ends the program with the first one's status.
STOP_TWICE=1 stop_a_stalled_walk "tarnwick.exe, Ctrl-C twice" wine "$exe"

stop_while_resolving tarnwick.exe wine "$exe"

# A wrong community: three attempts of five seconds, then the no-reply line.
in_ns wine "$exe" 127.0.0.1 no-such-community | tr -d '\r' > "$work/wrong"
code=${PIPESTATUS[0]}
check "wrong community: exit status 2" [ "$code" -eq 2 ]
check "wrong community: the no-reply line" grep -q '^ERROR P1: No returned packet' "$work/wrong"

# One agent per walk, as tests/e2e/one_agent.sh checks it for the Linux
# program: a broadcast walk keeps to the first device to answer, from whatever
# port; the far end of a /31 link is one device, not a broadcast address; and
# so on a machine with more interfaces than a first list of 32 holds.
start_agent_devices
check_one_agent 10.77.0.1 10.77.0.255 wine "$exe"
check_one_agent 10.78.0.1 10.78.0.1 wine "$exe"
for i in $(seq 20); do
  in_ns ip link add "tw-m$i" type veth peer name "tw-n$i"
  in_ns ip addr add "10.90.$i.1/24" brd + dev "tw-m$i"
  in_ns ip addr add "10.91.$i.1/24" brd + dev "tw-n$i"
  in_ns ip link set "tw-m$i" up
  in_ns ip link set "tw-n$i" up
done
check_one_agent 10.77.0.1 10.77.0.255 wine "$exe"

[ $failures -eq 0 ]
