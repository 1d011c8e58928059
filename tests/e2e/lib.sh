# Shared helpers of the end-to-end tests: a network namespace of the test's
# own, real agents started inside it and stopped by process id, and the
# conversion of snmpwalk's output into tarnwick's rows.
# Traffic stays inside the namespace: its 127.0.0.1, or its veth address.

set -uo pipefail

E2E_SKIP=77
ns=""
work=""
agent_pids=()
# The folder of the tests, with the helpers and the data beside them.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The opening of a test: the program under test ($1) as bin, the programs
# the test needs beyond ip and snmpwalk ($2...), and a network namespace of
# its own.
open_test() {
  bin=$(readlink -f "$1")
  shift
  need "$@"
  need_namespace
}

# Ends the test as skipped, saying why.
skip() {
  echo "SKIPPED: $*" >&2
  exit $E2E_SKIP
}

# Skips the test unless each program named is installed.
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || skip "$tool is not installed"
  done
}

need_namespace() {
  [ "$(id -u)" -eq 0 ] || skip "not root, so no network namespace can be made"
  need ip snmpwalk
  ns="tw-e2e-$$-$RANDOM"
  ip netns add "$ns" 2>/dev/null || skip "this machine cannot make a network namespace"
  work=$(mktemp -d /tmp/tarnwick-e2e.XXXXXX)
  chmod 755 "$work"
  trap cleanup EXIT
  ip -n "$ns" link set lo up
  # Name look-ups inside the namespace ask 127.0.0.1, where nobody answers:
  # an unknown name fails at once and no query leaves the machine.
  mkdir -p "/etc/netns/$ns"
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' > "/etc/netns/$ns/resolv.conf"
  printf '127.0.0.1 localhost\n' > "/etc/netns/$ns/hosts"
}

cleanup() {
  local pid
  # A test's own clean-up first, where it has one.
  if declare -F before_cleanup >/dev/null; then before_cleanup; fi
  for pid in "${agent_pids[@]}"; do
    kill "$pid" 2>/dev/null
  done
  for pid in "${agent_pids[@]}"; do
    # Bounded: an agent that does not stop is killed.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  # Anything else still running in the namespaces goes too.
  if [ -n "$peer_ns" ]; then
    for pid in $(ip netns pids "$peer_ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
    ip netns del "$peer_ns" 2>/dev/null
  fi
  if [ -n "$ns" ]; then
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  fi
  [ -n "$ns" ] && ip netns del "$ns" 2>/dev/null
  [ -n "$ns" ] && rm -rf "/etc/netns/$ns"
  [ -n "$work" ] && rm -rf "$work"
}

in_ns() { ip netns exec "$ns" "$@"; }

# A second namespace of the test's own, joined to the first by a veth pair
# ($1 in the first, $2 in the second), for a device whose address must be none
# of the walking namespace's: such an address would be reached over loopback.
# It goes with the first; in_peer runs a command in it.
peer_ns=""
start_peer_namespace() {
  peer_ns="$ns-peer"
  ip netns add "$peer_ns"
  in_ns ip link add "$1" type veth peer name "$2" netns "$peer_ns"
}
in_peer() { ip netns exec "$peer_ns" "$@"; }

# The second namespace as one device on a /24 network ($3, such as 10.122.0)
# behind the veth pair $1 (the walker's end, $3.1) and $2 (the device's, $3.2).
start_device_link() {
  start_peer_namespace "$1" "$2"
  in_ns ip addr add "$3.1/24" dev "$1"
  in_ns ip link set "$1" up
  in_peer ip addr add "$3.2/24" dev "$2"
  in_peer ip link set "$2" up
}

# Waits until the agent answers a GetRequest for sysUpTime.0 with the community.
wait_for_agent() {
  local community=$1
  for _ in $(seq 100); do
    if in_ns snmpget -v1 -c "$community" -t 0.3 -r 0 127.0.0.1 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.2
  done
  echo "FAIL: the agent did not come up" >&2
  return 1
}

# net-snmp's snmpd on the namespace's 127.0.0.1:161, read-only community $1;
# $2, where given, holds more configuration lines.
start_snmpd() {
  local community=$1
  mkdir -p "$work/snmpd"
  printf 'rocommunity %s 127.0.0.1\n%s\n' "$community" "${2:-}" > "$work/snmpd/snmpd.conf"
  # Started directly (not through a shell function), so that $! is the agent's
  # own process id; its output goes to files, not to the test runner's pipes.
  ip netns exec "$ns" env SNMP_PERSISTENT_DIR="$work/snmpd" /usr/sbin/snmpd -f -C -c "$work/snmpd/snmpd.conf" \
    -Lf "$work/snmpd/log" udp:127.0.0.1:161 </dev/null >"$work/snmpd/out" 2>&1 &
  agent_pids+=($!)
  wait_for_agent "$community"
}

# snmpsimd serving the .snmprec files of folder $1 on the namespace's 127.0.0.1:161;
# the community of each table is its file name.
start_snmpsim() {
  local data=$1 first
  need snmpsimd
  mkdir -p "$work/snmpsim/data" "$work/snmpsim/cache"
  cp "$data"/*.snmprec "$work/snmpsim/data/"
  chown -R nobody:nogroup "$work/snmpsim"
  ip netns exec "$ns" snmpsimd --data-dir="$work/snmpsim/data" --cache-dir="$work/snmpsim/cache" \
    --agent-udpv4-endpoint=127.0.0.1:161 --process-user=nobody --process-group=nogroup \
    --logging-method=file:"$work/snmpsim/log" </dev/null >/dev/null 2>&1 &
  agent_pids+=($!)
  first=$(basename "$(ls "$data"/*.snmprec | head -n 1)" .snmprec)
  wait_for_agent "$first"
}

# snmpwalk's reading of a column, as tarnwick's rows: address, MAC column
# (byte strings as hex pairs joined by "-", at most six; other values as their
# text; an IpAddress by its bytes), interface index. $1 community, $2 column,
# $3 the numbers before the address in the index (1, or 2 for the older column).
snmpwalk_rows() {
  local community=$1 column=$2 skip=$3
  in_ns snmpwalk -v1 -On -Ox -m '' -c "$community" -t 2 -r 2 127.0.0.1 "$column" |
    awk -v prefix=".$column." -v skip="$skip" '
      index($1, prefix) != 1 { next }
      {
        oid = substr($1, length(prefix) + 1)
        split(oid, idx, ".")
        address = idx[skip + 1] "." idx[skip + 2] "." idx[skip + 3] "." idx[skip + 4]
        type = $3
        mac = ""
        if (type == "Hex-STRING:") {
          for (i = 4; i <= NF && i < 10; i++) mac = mac (i > 4 ? "-" : "") tolower($i)
        } else if (type == "IpAddress:") {
          split($4, q, ".")
          mac = sprintf("%02x-%02x-%02x-%02x", q[1], q[2], q[3], q[4])
        } else if (type == "\"\"") {
          mac = ""
        } else {
          mac = $4
        }
        printf "%s\t%s\t%s\n", address, mac, idx[1]
      }'
}

# Walks column $3 ("default" or "old") of the agent with community $2 with
# tarnwick ($1) and with snmpwalk, and checks that the exit status is 0 and the
# rows are equal. Leaves tarnwick's rows in $work/actual.<column>.
compare_walk() {
  local bin=$1 community=$2 column=$3 oid skip flag=() code
  if [ "$column" = default ]; then oid=1.3.6.1.2.1.4.22.1.2; skip=1; else oid=1.3.6.1.2.1.3.1.1.2; skip=2; flag=(-o); fi
  snmpwalk_rows "$community" $oid $skip > "$work/expected.$column"
  in_ns "$bin" 127.0.0.1 "$community" "${flag[@]}" > "$work/out.$column"
  code=$?
  table_rows < "$work/out.$column" > "$work/actual.$column"
  check "$community, $column column: exit status 0" [ $code -eq 0 ]
  check "$community, $column column: rows equal snmpwalk's, entry for entry" \
    same_rows "$work/expected.$column" "$work/actual.$column"
}

# A walk of the recorded table "stall", which answers twenty rows and then
# never again, stopped by SIGINT once its rows are out: $1 names the run in
# the checks, the rest is the command, run in the namespace. Leaves the
# output in $work/stall.$1 and checks the rows, the exit status and how soon
# the program ended. With STOP_TWICE=1 a second SIGINT follows the first at
# once: the status stays 130.
stop_a_stalled_walk() {
  local name=$1 pid code ms
  shift
  # A script's background job starts with SIGINT ignored, which the program
  # keeps as it finds it: it is started with SIGINT as a terminal gives it.
  ip netns exec "$ns" env --default-signal=INT "$@" 127.0.0.1 stall > "$work/stall.$name" 2>/dev/null &
  pid=$!
  # The header goes out before the device is asked (under Wine, once Wine has
  # started); the rows must follow within a second and a half, although the
  # device then stays silent for the rest of the attempt's five seconds.
  wait_for_header "$work/stall.$name"
  sleep 1.5
  check "$name, a stalled device: its twenty rows are out while it is silent" \
    [ "$(table_rows < "$work/stall.$name" | wc -l)" -eq 20 ]
  interrupt "$pid" "tarnwick[^ ]* 127.0.0.1 stall"
  check "$name, a stalled device: SIGINT ends it with status 130 ($code)" [ "$code" -eq 130 ]
  check "$name, a stalled device: SIGINT ends it at once ($ms ms)" [ "$ms" -le 1000 ]
  check "$name, a stalled device: the rows stay written" [ "$(table_rows < "$work/stall.$name" | wc -l)" -eq 20 ]
}

# The devices of the tests of one agent per walk, on pairs of virtual
# interfaces with both ends in the namespace, so that broadcasts stay inside,
# each answered by responder.py: 10.77.0.1 and 10.77.0.2 answer at the
# broadcast address 10.77.0.255, 10.77.0.1 first and from a new port each
# time, after 10.77.0.3 has sent only what cannot answer (a reply without a
# binding, one with another request-id, a Trap); 10.77.0.2's row comes while
# the walk waits for 10.77.0.1's second answer, and must be set aside; 10.79.0.1, an address given
# without a broadcast address, and 10.78.0.1, the far end of a /31 link, each
# answer after a forged reply from 127.0.0.1.
start_agent_devices() {
  local args
  in_ns ip link add tw-b0 type veth peer name tw-b1
  in_ns ip link add tw-d0 type veth peer name tw-d1
  in_ns ip addr add 10.77.0.1/24 brd + dev tw-b0
  in_ns ip addr add 10.77.0.2/24 brd + dev tw-b1
  in_ns ip addr add 10.77.0.3/24 brd + dev tw-b1
  in_ns ip addr add 10.79.0.1/24 dev tw-d0
  in_ns ip addr add 10.78.0.0/31 dev tw-d0
  in_ns ip addr add 10.78.0.1/31 dev tw-d1
  for args in tw-b0 tw-b1 tw-d0 tw-d1; do in_ns ip link set "$args" up; done
  for args in "10.77.0.3 - 0 0 - - stray" "10.77.0.1 - 0.1 0.3 fresh - row" "10.77.0.2 - 0.2 0 - - row" \
    "10.79.0.1 10.79.0.1 0.1 0 - 127.0.0.1 row" "10.78.0.1 10.78.0.1 0.1 0 - 127.0.0.1 row"; do
    # shellcheck disable=SC2086
    start_responder in_ns $args
  done
}

# Starts responder.py with arguments $2... by way of command $1 (in_ns, or
# another namespace's), and waits until it listens.
start_responder() {
  local via=$1 own=$2
  shift
  "$via" python3 "$here/responder.py" "$@" > "$work/ready.$own" 2>&1 &
  agent_pids+=($!)
  for _ in $(seq 100); do [ -s "$work/ready.$own" ] && break; sleep 0.05; done
}

# Walks address $2 with the program and its leading arguments ($3...), and
# checks that the walk ends well with the one row of device $1.
check_one_agent() {
  local device=$1 address=$2 code
  shift 2
  in_ns "$@" "$address" public | tr -d '\r' > "$work/one-agent"
  code=${PIPESTATUS[0]}
  check "${*##*/} $address: exit status 0 ($code)" [ "$code" -eq 0 ]
  check "${*##*/} $address: the row of $device, and only its" \
    [ "$(table_rows < "$work/one-agent")" = "$device"$'\t'"$(printf '02-00-00-00-00-%02x' "${device##*.}")"$'\t1' ]
}

# Runs the program ($2...) on a name that the namespace's name server never
# answers (the resolver waits 5 seconds), with progress lines, sends SIGINT
# while it waits, and checks that the program ends at once with status 130,
# its header and what it printed before the look-up written.
stop_while_resolving() {
  local name=$1 pid code ms
  shift
  if ! in_ns ss -Hlun | grep -q '127.0.0.1:53 '; then
    in_ns python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 53))
while True: s.recv(4096)' &
    agent_pids+=($!)
    for _ in $(seq 100); do in_ns ss -Hlun | grep -q '127.0.0.1:53 ' && break; sleep 0.05; done
    printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:1\n' > "/etc/netns/$ns/resolv.conf"
  fi
  ip netns exec "$ns" env --default-signal=INT "$@" slow-name.invalid public -d > "$work/resolving" &
  pid=$!
  wait_for_header "$work/resolving"
  sleep 0.3
  interrupt "$pid" "tarnwick[^ ]* slow-name"
  check "$name, SIGINT while the name resolves: exit status 130 ($code)" [ "$code" -eq 130 ]
  check "$name, SIGINT while the name resolves: at once ($ms ms)" [ "$ms" -le 300 ]
  check "$name, SIGINT while the name resolves: the header was written" grep -q '^---------------' "$work/resolving"
  check "$name, SIGINT while the name resolves: the progress line before the look-up was written" \
    grep -q '^Winsock Startup...successful' "$work/resolving"
}

# Waits, at most 15 seconds, until file $1 holds tarnwick's header.
wait_for_header() {
  for _ in $(seq 300); do grep -q '^---------------' "$1" && break; sleep 0.05; done
}

# Sends SIGINT to the program started as process $1, whose command line
# matches $2 (under Wine, the process that runs tarnwick.exe), and with
# STOP_TWICE=1 a second at once; waits for it and sets code, its status, and
# ms, how long it took to end.
interrupt() {
  local pid=$1 target start
  target=$(pgrep -f -n "$2" || echo "$pid")
  start=$(date +%s%N)
  kill -INT "$target"
  [ "${STOP_TWICE:-0}" = 1 ] && kill -INT "$target" 2>/dev/null
  wait "$pid"
  code=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
}

# tarnwick's rows alone: the lines after the header's dashes.
table_rows() { sed -n '/^---------------\t/,$p' | tail -n +2; }

failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what" >&2
    failures=$((failures + 1))
  fi
}

same_rows() {
  local expected=$1 actual=$2
  if [ ! -s "$expected" ]; then
    echo "  snmpwalk read no rows" >&2
    return 1
  fi
  if ! diff -u "$expected" "$actual" >"$work/diff"; then
    head -n 20 "$work/diff" >&2
    return 1
  fi
}
