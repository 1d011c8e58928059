#!/usr/bin/env bash
# tarnwick against snmpsimd serving recorded tables from tests/data, both
# columns, compared with what snmpwalk reads from the same agent.
# Usage: recorded_tables.sh path/to/tarnwick
. "$(dirname "$0")/lib.sh"
open_test "$1"
start_snmpsim "$here/../data" || exit 1

for table in switch48 awkward; do
  for column in default old; do compare_walk "$bin" "$table" $column; done
done

check "switch48: 2976 rows" [ "$(in_ns "$bin" 127.0.0.1 switch48 | table_rows | wc -l)" -eq 2976 ]

# The awkward values, as the tool shows them.
in_ns "$bin" 127.0.0.1 awkward > "$work/awkward"
expect_row() { grep -qxF "$1" "$work/awkward" || { echo "  missing row: $1" >&2; return 1; }; }
check "awkward: fewer than six bytes, interface 0" expect_row $'10.9.0.0\t00-11-22\t0'
check "awkward: eight bytes show six" expect_row $'255.255.255.255\t00-11-22-33-44-55\t1'
check "awkward: the largest interface index" expect_row $'0.0.0.0\taa-bb-cc-dd-ee-ff\t4294967295'
check "awkward: an integer shows its number" expect_row $'10.9.0.1\t5\t7'
check "awkward: printable bytes stay bytes" expect_row $'10.9.0.2\t41-42-43-44-45-46\t7'
check "awkward: an IpAddress shows its bytes" expect_row $'10.9.0.3\t0a-01-02-03\t7'
check "awkward: an empty value" expect_row $'10.9.0.4\t\t7'

stop_a_stalled_walk tarnwick "$bin"

# A reader that goes away ends the program by SIGPIPE, quietly, as for any
# Unix tool (the shell shows 141); the run starts with SIGPIPE at its default.
in_ns env --default-signal=PIPE "$bin" 127.0.0.1 switch48 2>"$work/pipe.err" | head -n 2 > /dev/null
code=${PIPESTATUS[0]}
check "a reader that goes away: SIGPIPE, status 141 ($code)" [ "$code" -eq 141 ]
check "a reader that goes away: nothing on standard error" [ ! -s "$work/pipe.err" ]

[ $failures -eq 0 ]
