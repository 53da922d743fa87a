#!/usr/bin/env bash
# Trap-storm benchmark: the console (its window run offscreen on loopback)
# side by side with net-snmp's snmptrapd, on the same trap bytes.
#
#   bench/run-bench.sh [--short] [--veth] BUILD_DIR
#   bench/run-bench.sh --veth --series N BUILD_DIR [OTHER_BUILD_DIR[:VAR=VALUE]...]
#   bench/run-bench.sh [--veth] --side-by-side N BUILD_DIR [OTHER_BUILD_DIR[:VAR=VALUE]...]
#   bench/run-bench.sh [--short] [--veth] --hostile BUILD_DIR
#
# BUILD_DIR holds bench/trap_blaster, bench/console_bench and
# bench/response_responder. The sender is BUILD_DIR's trap_blaster, kept on
# the last processor; the console runs wherever the system puts it. --short runs every step with tiny counts (a few
# seconds; it checks that the bench works, not how fast anything is).
# Traffic stays on 127.0.0.1; with --veth (as root) it goes over a veth pair
# between two network namespaces of the bench's own instead, the console and
# snmptrapd at 192.0.2.1, the sender and the responder at 192.0.2.2.
# Prints a table; see bench/README.md. --series N (as root, with --veth)
# runs only the stock-buffer bursts of 100,000: N harnesses, each run as an
# ordinary user and sent two bursts, and prints how many were logged whole.
# Given more than one build, it runs N rounds of one harness of each build,
# in turn, so that a slow spell of the machine weighs on all of them alike,
# and prints a line for each build; OTHER_BUILD_DIR:VAR=VALUE runs that
# build's harness with VAR=VALUE in its environment (the same build may so
# be given twice, say with GLIBC_TUNABLES). --side-by-side N does the same with the
# CPU per trap at the fast rate of (c) and the burst of 1,000,000 of (b),
# each in a harness of its own, and prints a line for each build (with
# snmptrapd's CPU per trap at the rate of (c) once, for the ratio).
# --hostile runs only step (h), the hostile flood, and prints its rows and
# goals.
set -euo pipefail

short=0
veth=0
series=0
side_by_side=0
hostile_only=0
while [ $# -gt 1 ]; do
  case "$1" in
    --short) short=1 ;;
    --hostile) hostile_only=1 ;;
    --veth) veth=1 ;;
    --series) series=$2; shift ;;
    --side-by-side) side_by_side=$2; shift ;;
    *) break ;;
  esac
  shift
done
[ $# -ge 1 ] || { echo "usage: run-bench.sh [--short] [--veth] [--hostile] [--series N | --side-by-side N] BUILD_DIR [OTHER_BUILD_DIR[:VAR=VALUE]...]" >&2; exit 2; }
builds=()
build_envs=()
for given in "$@"; do
  dir=${given%%:*}
  [ -x "$dir/bench/console_bench" ] || { echo "missing $dir/bench/console_bench (build the tree first)" >&2; exit 2; }
  builds+=("$(cd "$dir" && pwd)")
  build_envs+=("$([ "$dir" = "$given" ] || echo "${given#*:}")")
done
build=${builds[0]}
harness_env=${build_envs[0]}
here=$(cd "$(dirname "$0")" && pwd)
blaster=$build/bench/trap_blaster
harness=$build/bench/console_bench
responder=$build/bench/response_responder
# The sender's own processor: the last one.
sender_cpu=$(($(nproc) - 1))
trap_hex=$here/equipment_trap.hex
response_hex=$here/get_response.hex
for tool in "$blaster" "$harness" "$responder"; do
  [ -x "$tool" ] || { echo "missing $tool (build the tree first)" >&2; exit 2; }
done
export QT_QPA_PLATFORM=offscreen

# The receive buffer a stock Debian 12 grants (net.core.rmem_max), asked for
# by a second harness: the limit cannot be set inside a namespace, and here
# it is larger.
stock_buffer=212992
# The forced-loss harness: queues of this many datagrams only.
tiny_queue=64
if [ $short = 1 ]; then
  rates="1000 2000"; step_ms=300; settle_s=0.05; poll_s=0.05
  burst_small=1000; burst_large=3000; burst_huge=5000
  cpu_rate=2000; cpu_count=1000; fast_cpu_rate=4000; fast_cpu_count=2000
  long_count=2000; long_rate=4000
  gets=20; flood_rate=2000; flood_count=500
  forced_count=2000; stock_repeats=2
  noise_slow_count=10; noise_fast_count=20; long_name_count=10; flood_seconds=2
else
  rates="1000 2000 3000 4500 6000 9000 12000 18000 24000 36000 48000 72000 96000 120000 150000 180000 210000"
  step_ms=5000
  burst_small=10000; burst_large=100000; burst_huge=1000000
  cpu_rate=5000; cpu_count=30000; fast_cpu_rate=60000; fast_cpu_count=300000
  long_count=1000000; long_rate=20000; settle_s=1; poll_s=0.2
  gets=1000; flood_rate=10000; flood_count=50000
  forced_count=20000; stock_repeats=10
  noise_slow_count=250; noise_fast_count=1000; long_name_count=200; flood_seconds=30
fi
# (h) the hostile flood: 65,000-byte datagrams that are no message, at two
# rates, then SNMPv2c traps whose last binding's name is an identifier of
# 64,900 octets (bench/hostile_datagrams.py makes both). Then the
# 65,000-byte datagrams flat out for flood_seconds.
noise_slow_rate=25; noise_fast_rate=50; long_name_rate=10
# Goals.
goal_rate=150000          # loss-free traps/s
goal_cpu_us=5             # CPU per trap at fast_cpu_rate
goal_stall_ms=50          # worst GUI stall
goal_rss_mb=10            # RSS growth over the long storm
goal_get_ms=5             # GetRequest to pane, median: a near agent's answer is not paced
# Memory a flat-out burst may take and must give back: the first 32 MiB of
# the trap queue's ring (its writer goes back to the start past them) and
# what the pane and the log's buffers take besides; and, when more than
# that waited at once, as much again (see goal_burst_allowed).
goal_burst_mb=48
goal_back_mb=5
# (h) Memory a paced hostile flood may take: a full pane (2 MiB of text,
# which the text widget keeps as UTF-16 with a block a line: about 8 MB
# here), the hub's pane texts and their UTF-16 copy, and the reporting
# thread's batch and log write of the datagrams that queue meanwhile. 21 MB
# was the most measured; 32 MB leaves room for a busier machine
# (bench/README.md, "A hostile flood").
goal_hostile_mb=32
# (h) The GUI thread keeps up: the last datagram's lines are in the pane
# (TrapEdit shows its count, no pane work waits) this soon after the sender
# stopped, and the thread then takes at most this share of a core.
goal_caught_up_ms=2000
goal_after_share=5
# How long the bench waits for the pane to catch up before it gives up.
caught_up_wait_ms=30000
# (h) The flood flat out: memory at most this much above where it was, and
# back within goal_flood_back_mb of it this long after the sender's end (the
# pane, full then, keeps its text: about 8 MB); no stall of the window over
# goal_stall_ms that the host did not cause; every datagram logged whole or
# its loss said.
goal_flood_mb=32
goal_flood_back_s=5
goal_flood_back_mb=10

work=$(mktemp -d /tmp/quillet-bench.XXXXXX)
trapd_pid=""
responder_pid=""
harness_pid=""
ns_console=""
ns_sender=""
cleanup() {
  [ -n "$trapd_pid" ] && kill "$trapd_pid" 2>/dev/null || true
  [ -n "$responder_pid" ] && kill "$responder_pid" 2>/dev/null || true
  [ -n "$harness_pid" ] && kill "$harness_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  [ -n "$ns_console" ] && ip netns del "$ns_console" 2>/dev/null || true
  [ -n "$ns_sender" ] && ip netns del "$ns_sender" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Where each side runs, and its address.
console_addr=127.0.0.1
sender_addr=127.0.0.1
in_console=()
in_sender=()
if [ $veth = 1 ]; then
  [ "$(id -u)" = 0 ] || { echo "--veth needs root" >&2; exit 2; }
  ns_console=qbench-c-$$
  ns_sender=qbench-s-$$
  ip netns add "$ns_console"
  ip netns add "$ns_sender"
  ip link add "qbc$$" type veth peer name "qbs$$"
  ip link set "qbc$$" netns "$ns_console"
  ip link set "qbs$$" netns "$ns_sender"
  ip -n "$ns_console" addr add 192.0.2.1/24 dev "qbc$$"
  ip -n "$ns_sender" addr add 192.0.2.2/24 dev "qbs$$"
  for ns in "$ns_console" "$ns_sender"; do ip -n "$ns" link set lo up; done
  ip -n "$ns_console" link set "qbc$$" up
  ip -n "$ns_sender" link set "qbs$$" up
  console_addr=192.0.2.1
  sender_addr=192.0.2.2
  in_console=(ip netns exec "$ns_console")
  in_sender=(ip netns exec "$ns_sender")
fi

# Four free UDP ports on loopback.
read -r trap_port request_port agent_port trapd_port < <(python3 - <<'EOF'
import socket
socks = []
for _ in range(4):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
EOF
)

say() { echo "  $*" >&2; }
field() { # field NAME "k=v k=v ..."
  local name=$1 line=$2
  sed -n "s/.*\b$name=\([^ ]*\).*/\1/p" <<<"$line"
}
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
ratio() { # ratio A B
  awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "-"; else printf "%.2f", a / b }'
}
mb() { calc %.1f "$1 / 1024"; }
num() { printf "%'d" "${1%.*}" 2>/dev/null || echo "$1"; }
row() { printf "%-52s %16s %12s %10s\n" "$@"; }
goal() { # goal TEXT CONDITION(awk)
  local verdict
  verdict=$(awk "BEGIN { print (($2) ? \"met\" : \"NOT MET\") }")
  printf "  %-8s %s\n" "$verdict" "$1"
}

# The sender stands for another machine: it runs on a processor of its own
# and in a session of its own, so that the scheduler, which shares a
# processor between sessions first, never counts its processor time against
# the console's. The console too runs in a session of its own, as a program
# started from a desktop does.
blast() { # blast PORT HEXFILE COUNT RATE -> "sent=.. errors=.. seconds=.. rate=.."
  "${in_sender[@]}" setsid -w "$blaster" --to "$console_addr:$1" --hex-file "$2" --count "$3" --rate "$4" --max-seconds 120 \
    --cpu "$sender_cpu"
}
blast_file() { # blast_file PORT FILE COUNT RATE: as blast, the datagram's bytes in FILE
  "${in_sender[@]}" setsid -w "$blaster" --to "$console_addr:$1" --file "$2" --count "$3" --rate "$4" --max-seconds 120 \
    --cpu "$sender_cpu"
}
# Bash's clock in seconds, with a point whatever the locale.
now_s() { local t=$EPOCHREALTIME; echo "${t/,/.}"; }
# A pause between steps, so that one step's tail (a pane update, the log's
# write-back) does not weigh on the next.
settle() { sleep "$settle_s"; }

# ---------------------------------------------------------------- snmptrapd
trapd_log=$work/trapd.log
have_trapd=0
if [ "$series" -eq 0 ] && [ $hostile_only = 0 ] && command -v snmptrapd >/dev/null 2>&1; then
  have_trapd=1
  mkdir -p "$work/trapd-persist"
  echo "disableAuthorization yes" >"$work/trapd.conf"
  SNMP_PERSISTENT_DIR=$work/trapd-persist MIBS= "${in_console[@]}" snmptrapd -f -Lf "$trapd_log" -On -n -m '' -C \
    -c "$work/trapd.conf" -F '%a %w %q %v\n' "udp:$console_addr:$trapd_port" &
  trapd_pid=$!
  for _ in $(seq 50); do grep -q NET-SNMP "$trapd_log" 2>/dev/null && break; sleep 0.1; done
fi
# One line a trap, every binding on it.
trapd_logged() { grep -c 'INTEGER: 255.*STRING: "20050307090500"$' "$trapd_log" || true; }
trapd_cpu_ms() { awk -v t="$(getconf CLK_TCK)" '{ printf "%.0f", ($14 + $15) * 1000 / t }' "/proc/$trapd_pid/stat"; }
trapd_drain() { # waits until the log stops growing or holds $1 traps
  local want=$1 last=-1 same=0 now
  for _ in $(seq 100); do
    now=$(trapd_logged)
    [ "$now" -ge "$want" ] && break
    if [ "$now" = "$last" ]; then same=$((same + 1)); [ $same -ge 5 ] && break; else same=0; fi
    last=$now
    sleep "$poll_s"
  done
}
trapd_reset() { : >"$trapd_log"; }

# ---------------------------------------------------------- console harness
start_harness() { # start_harness NAME [options]: one harness at a time
  local name=$1
  shift
  mkdir -p "$work/$name"
  local as_user=()
  if [ "$series" -gt 0 ]; then
    # An ordinary user's console: no privilege, the stock buffer's limits.
    chown 65534:65534 "$work/$name"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all)
  fi
  local env_of=()
  [ -n "$harness_env" ] && env_of=(env "$harness_env")
  coproc HARNESS { exec "${in_console[@]}" setsid -w "${as_user[@]}" "${env_of[@]}" "$harness" --dir "$work/$name" --trap-port "$trap_port" \
    --request-port "$request_port" --agent-port "$agent_port" --bind "$console_addr" --agent "$sender_addr" \
    --trace-stalls "$@" 2>"$work/console.err"; }
  harness_pid=$HARNESS_PID
  harness_in=${HARNESS[1]}
  harness_out=${HARNESS[0]}
  read -r -t 30 -u "$harness_out" ready
  console_log=$(field log "$ready")
  console_buffer=$(field receive_buffer "$ready")
}
stop_harness() {
  echo quit >&"$harness_in" || true
  wait "$harness_pid" 2>/dev/null || true
  harness_pid=""
  if [ -s "$work/console.err" ] && grep -v -e XDG_RUNTIME_DIR -e '^$' -e '^stall ' "$work/console.err" >&2; then :; fi
}
ask() { # ask COMMAND -> the harness's answer line
  echo "$1" >&"$harness_in"
  local line
  read -r -t 120 -u "$harness_out" line || { echo "console_bench did not answer '$1'" >&2; cat "$work/console.err" >&2; exit 1; }
  echo "$line"
}
if [ "$series" -eq 0 ] && [ "$side_by_side" -eq 0 ] && [ $hostile_only = 0 ]; then
  start_harness console
  first_buffer=$console_buffer
fi
console_traps() { field traps "$(ask count)"; }
console_responses() { field responses "$(ask count)"; }
console_drain() { # console_drain traps|responses BEFORE COUNT
  local what=$1 before=$2 want=$3 last=-1 same=0 now
  for _ in $(seq 150); do
    now=$(( $(field "$what" "$(ask count)") - before ))
    [ "$now" -ge "$want" ] && break
    if [ "$now" = "$last" ]; then same=$((same + 1)); [ $same -ge 5 ] && break; else same=0; fi
    last=$now
    sleep "$poll_s"
  done
}
console_reset() { : >"$console_log"; }
# "records complete" of the console's log, byte-exact against the expected lines.
console_logged() { # console_logged trap|response HEXFILE
  local counts
  counts=$(python3 "$here/count_log.py" "$1" "$console_log" "$2")
  echo "$(field records "$counts") $(field complete "$counts") $(field lines_per_record "$counts")"
}
# Loss lines in the console's log, and the numbers they say added up.
console_losses() { # console_losses trap|response HEXFILE -> "LINES LOST"
  local counts
  counts=$(python3 "$here/count_log.py" "$1" "$console_log" "$2")
  echo "$(field loss_lines "$counts") $(field lost "$counts")"
}
# Loss lines seen in runs that lost nothing (must stay 0), one count a run in
# a file: the steps run in subshells.
no_stray_losses() { # no_stray_losses trap|response HEXFILE, after a run whose every datagram was logged
  local lines lost
  read -r lines lost < <(console_losses "$@")
  echo "$lines" >>"$work/stray-losses"
}

# ------------------------------------------------------------------ steps
# (a) rising rates, 5-second steps, up to the first step that loses a trap.
ramp_console() {
  local best=0 best_rate=0 rate count out sent before records complete lines
  for rate in $rates; do
    count=$((rate * step_ms / 1000))
    settle
    console_reset
    before=$(console_traps)
    out=$(blast "$trap_port" "$trap_hex" "$count" "$rate")
    sent=$(field sent "$out")
    console_drain traps "$before" "$sent"
    read -r records complete lines < <(console_logged trap "$trap_hex")
    say "console   $rate/s: sent $sent at $(field rate "$out")/s, logged $records, complete ($lines lines) $complete"
    if [ "$complete" = "$count" ] && [ "$records" = "$count" ]; then
      no_stray_losses trap "$trap_hex"
      best=$(field rate "$out"); best_rate=$rate
    else
      break
    fi
  done
  echo "$best $best_rate"
}
ramp_trapd() {
  local best=0 best_rate=0 rate count out logged
  for rate in $rates; do
    count=$((rate * step_ms / 1000))
    settle
    trapd_reset
    out=$(blast "$trapd_port" "$trap_hex" "$count" "$rate")
    trapd_drain "$count"
    logged=$(trapd_logged)
    say "snmptrapd $rate/s: sent $(field sent "$out") at $(field rate "$out")/s, logged $logged"
    if [ "$logged" = "$count" ]; then best=$(field rate "$out"); best_rate=$rate; else break; fi
  done
  echo "$best $best_rate"
}
# (b) a burst flat out.
burst_console() {
  local count=$1 before out records complete lines
  settle
  console_reset
  before=$(console_traps)
  out=$(blast "$trap_port" "$trap_hex" "$count" 0)
  console_drain traps "$before" "$count"
  read -r records complete lines < <(console_logged trap "$trap_hex")
  read -r loss_lines lost < <(console_losses trap "$trap_hex")
  say "console   burst $count at $(field rate "$out")/s (receive buffer $console_buffer): logged $records," \
    "complete $complete, $loss_lines loss lines saying $lost lost"
  echo "$complete $loss_lines $lost"
}
burst_trapd() {
  local count=$1 out logged
  settle
  trapd_reset
  out=$(blast "$trapd_port" "$trap_hex" "$count" 0)
  trapd_drain "$count"
  logged=$(trapd_logged)
  say "snmptrapd burst $count at $(field rate "$out")/s: logged $logged"
  echo "$logged"
}
# (c) CPU time per logged trap at one common rate.
cpu_console() { # cpu_console RATE COUNT
  local rate=$1 count=$2 before_cpu before_gui before out stats complete records lines
  settle
  console_reset
  before=$(console_traps)
  stats=$(ask stats)
  before_cpu=$(field cpu_ms "$stats")
  before_gui=$(field gui_cpu_ms "$stats")
  out=$(blast "$trap_port" "$trap_hex" "$count" "$rate")
  console_drain traps "$before" "$count"
  stats=$(ask stats)
  read -r records complete lines < <(console_logged trap "$trap_hex")
  [ "$complete" = "$count" ] && no_stray_losses trap "$trap_hex"
  say "console   CPU run at $rate/s: $complete of $count logged, $(calc %.0f "$(field cpu_ms "$stats") - $before_cpu") ms CPU," \
    "$(calc %.0f "$(field gui_cpu_ms "$stats") - $before_gui") ms of it on the GUI thread"
  echo "$(calc %.1f "($(field cpu_ms "$stats") - $before_cpu) * 1000 / ($complete > 0 ? $complete : 1)")" \
    "$(calc %.1f "($(field gui_cpu_ms "$stats") - $before_gui) * 1000 / ($complete > 0 ? $complete : 1)")"
}
cpu_trapd() {
  local before_cpu after_cpu logged
  settle
  trapd_reset
  before_cpu=$(trapd_cpu_ms)
  blast "$trapd_port" "$trap_hex" "$cpu_count" "$cpu_rate" >/dev/null
  trapd_drain "$cpu_count"
  after_cpu=$(trapd_cpu_ms)
  logged=$(trapd_logged)
  say "snmptrapd CPU run: $logged of $cpu_count logged, $((after_cpu - before_cpu)) ms CPU"
  calc %.1f "($after_cpu - $before_cpu) * 1000 / ($logged > 0 ? $logged : 1)"
}

# (h) the hostile flood, each flood in a harness of its own.
# The GUI thread's share of a core, in per cent, between two stats answers
# and the times they came.
gui_share() { # gui_share STATS_A TIME_A STATS_B TIME_B
  calc %.1f "($(field gui_cpu_ms "$3") - $(field gui_cpu_ms "$1")) / (($4 - $2) * 10)"
}
# One flood, in a harness of its own started afresh and warmed up: COUNT
# copies of FILE to the trap port at RATE/s (0: flat out). Sets h_result to
# "k=v ...": memory in kB (before, the most during the flood and its
# catching up, a second after); the GUI thread's share of a core during the
# flood (the probe's and the clicks' included; for a burst flat out, up to
# the catching up) and in the second after the pane caught up (without
# them); the worst stall from the flood's start to the catching up, and how
# many passed 50 ms (and of them the host's); how soon after the sender
# stopped the pane was up to date (TrapEdit showed every datagram and no
# pane work waited); and the records logged whole. With "check", the
# datagram is first sent alone and h_check set to 1 if it was logged as the
# trap it is (not a frame error).
hostile_flood() { # hostile_flood noise|long-name FILE COUNT RATE [check]
  local kind=$1 file=$2 count=$3 rate=$4
  local before out sent t_before t_end t_stats_end t_caught t_idle stall_lines steal_pid stall_match
  local stats_before stats_end caught stats_caught stats_quiet t_quiet stats_idle counts share
  start_harness "hostile-$kind-$rate"
  warm_up
  if [ "${5:-}" = check ]; then
    console_reset
    before=$(console_traps)
    blast_file "$trap_port" "$file" 1 0 >/dev/null
    t_end=$(now_s)
    caught=$(ask "caught_up $((before + 1)) $t_end $caught_up_wait_ms")
    h_check=$(field complete "$(python3 "$here/hostile_datagrams.py" count "$kind" "$console_log")")
    [ "$h_check" = 1 ] || echo "the $kind datagram was not logged as what it is: the figures of (h) mean nothing" >&2
  fi
  settle
  console_reset
  before=$(console_traps)
  ask "peak reset" >/dev/null
  stall_lines=$(wc -l <"$work/console.err")
  python3 "$here/host_steal.py" watch 120 >"$work/steal.txt" &
  steal_pid=$!
  stats_before=$(ask stats)
  t_before=$(now_s)
  out=$(blast_file "$trap_port" "$file" "$count" "$rate")
  t_end=$(now_s)
  sent=$(field sent "$out")
  stats_end=$(ask stats)
  t_stats_end=$(now_s)
  caught=$(ask "caught_up $((before + sent)) $t_end $caught_up_wait_ms")
  stats_caught=$(ask stats)
  t_caught=$(now_s)
  # The second after: the probe and the clicks off, so that the share is
  # the window's own.
  ask "probe off" >/dev/null
  stats_quiet=$(ask stats)
  t_quiet=$(now_s)
  kill "$steal_pid" 2>/dev/null || true
  wait "$steal_pid" 2>/dev/null || true
  # (Taken now: the next stats would trace the probe's pause as a stall.)
  tail -n +"$((stall_lines + 1))" "$work/console.err" | grep '^stall' >"$work/stalls.txt" || true
  sleep 1
  stats_idle=$(ask stats)
  t_idle=$(now_s)
  stall_match=$(python3 "$here/host_steal.py" match "$work/stalls.txt" "$work/steal.txt")
  counts=$(python3 "$here/hostile_datagrams.py" count "$kind" "$console_log")
  stop_harness
  # A burst flat out is over at once: its share is taken up to the catching up.
  if [ "$rate" = 0 ]; then
    share=$(gui_share "$stats_before" "$t_before" "$stats_caught" "$t_caught")
  else
    share=$(gui_share "$stats_before" "$t_before" "$stats_end" "$t_stats_end")
  fi
  say "console   hostile $kind x $count at $rate/s: sent $sent in $(field seconds "$out") s, $caught," \
    "logged whole $(field complete "$counts") of $(field records "$counts"), $(field loss_lines "$counts") loss lines"
  say "console   hostile $kind: end of flood $stats_end"
  say "console   hostile $kind: a second after $stats_idle"
  say "console   hostile $kind: stalls over 10 ms: $(wc -l <"$work/stalls.txt"), $stall_match; host $(grep '^total' "$work/steal.txt" || true)"
  h_result="sent=$sent rss_before=$(field rss_kb "$stats_before") hwm=$(field hwm_kb "$stats_idle")
    rss_after=$(field rss_kb "$stats_idle")
    share=$share after=$(gui_share "$stats_quiet" "$t_quiet" "$stats_idle" "$t_idle")
    stall=$(calc %.2f "($(field stall_ms "$stats_end") > $(field stall_ms "$stats_caught") ? $(field stall_ms "$stats_end") : $(field stall_ms "$stats_caught"))")
    over50=$(field over50 "$stall_match") over50_host=$(field over50_host "$stall_match")
    caught=$(field ok "$caught") caught_ms=$(field ms "$caught")
    complete=$(field complete "$counts") loss_lines=$(field loss_lines "$counts")"
  h_result=$(tr -s ' \n' '  ' <<<"$h_result")
}
# The 65,000-byte datagrams flat out for flood_seconds, in a harness of its
# own: memory before, at its most (the kernel's high-water mark) and
# goal_flood_back_s after the sender's end; the worst stall from the flood's
# start until then, and the stalls over 50 ms (the host's among them); the
# datagrams sent, logged whole, and said lost. Sets f_result.
flat_out_flood() { # flat_out_flood FILE
  local file=$1 before out sent t_end stall_lines steal_pid stall_match stats_before stats_end stats_back counts
  start_harness flood
  warm_up
  settle
  console_reset
  before=$(console_traps)
  ask "peak reset" >/dev/null
  stall_lines=$(wc -l <"$work/console.err")
  python3 "$here/host_steal.py" watch $((flood_seconds + 60)) >"$work/steal.txt" &
  steal_pid=$!
  stats_before=$(ask stats)
  out=$("${in_sender[@]}" setsid -w "$blaster" --to "$console_addr:$trap_port" --file "$file" --count 2000000 --rate 0 \
    --max-seconds "$flood_seconds" --cpu "$sender_cpu")
  t_end=$(now_s)
  sent=$(field sent "$out")
  stats_end=$(ask stats)
  # Until the console has logged what it took: the count stands still.
  console_drain traps "$before" "$sent"
  sleep "$(awk -v e="$t_end" -v n="$(now_s)" -v b="$goal_flood_back_s" 'BEGIN { w = e + b - n; print (w > 0 ? w : 0) }')"
  stats_back=$(ask stats)
  local back_s
  back_s=$(calc %.1f "$(now_s) - $t_end")
  kill "$steal_pid" 2>/dev/null || true
  wait "$steal_pid" 2>/dev/null || true
  tail -n +"$((stall_lines + 1))" "$work/console.err" | grep '^stall' >"$work/stalls.txt" || true
  stall_match=$(python3 "$here/host_steal.py" match "$work/stalls.txt" "$work/steal.txt")
  counts=$(python3 "$here/hostile_datagrams.py" count noise "$console_log")
  local log_bytes
  log_bytes=$(stat -c %s "$console_log")
  console_reset
  stop_harness
  say "console   flat-out flood: sent $sent in $(field seconds "$out") s ($(field rate "$out")/s), $counts, log $log_bytes bytes"
  say "console   flat-out flood: end $stats_end"
  say "console   flat-out flood: $back_s s after $stats_back"
  say "console   flat-out flood: stalls over 10 ms: $(wc -l <"$work/stalls.txt"), $stall_match; host $(grep '^total' "$work/steal.txt" || true)"
  f_result="sent=$sent seconds=$(field seconds "$out") rate=$(field rate "$out")
    rss_before=$(field rss_kb "$stats_before") hwm=$(field hwm_kb "$stats_back") rss_back=$(field rss_kb "$stats_back") back_s=$back_s
    stall=$(calc %.2f "($(field stall_ms "$stats_end") > $(field stall_ms "$stats_back") ? $(field stall_ms "$stats_end") : $(field stall_ms "$stats_back"))")
    worst_own=$(field worst_own_ms "$stall_match") over50=$(field over50 "$stall_match") over50_host=$(field over50_host "$stall_match")
    records=$(field records "$counts") complete=$(field complete "$counts") loss_lines=$(field loss_lines "$counts") lost=$(field lost "$counts")
    log_mb=$(calc %.0f "$log_bytes / 1048576")"
  f_result=$(tr -s ' \n' '  ' <<<"$f_result")
}
flat_out_flood_rows() {
  local r=$f_result
  row "    65000 B flat out for $flood_seconds s: sent, at /s" "$(num "$(field sent "$r")") at $(num "$(field rate "$r")")" "" ""
  row "      RSS before / peak / ${goal_flood_back_s} s after, MB" \
    "$(mb "$(field rss_before "$r")") / $(mb "$(field hwm "$r")") / $(mb "$(field rss_back "$r")")" "" ""
  row "      worst GUI stall, ms (without the host's)" "$(field stall "$r") ($(field worst_own "$r"))" "" ""
  row "      stalls over 50 ms / of them the host's" "$(field over50 "$r") / $(field over50_host "$r")" "" ""
  row "      logged whole / said lost, of the sent" "$(num "$(field complete "$r")") / $(num "$(field lost "$r")")" "" ""
  row "      log written, MB" "$(num "$(field log_mb "$r")")" "" ""
}
flat_out_flood_goals() {
  local r=$f_result growth back
  growth=$(calc %.1f "($(field hwm "$r") - $(field rss_before "$r")) / 1024")
  back=$(calc %.1f "($(field rss_back "$r") - $(field rss_before "$r")) / 1024")
  goal "flood flat out for $flood_seconds s: RSS growth at most $goal_flood_mb MB ($growth)" "$growth <= $goal_flood_mb"
  goal "  given back within $goal_flood_back_mb MB $goal_flood_back_s s after the sender's end ($back at $(field back_s "$r") s)" \
    "$back <= $goal_flood_back_mb && $(field back_s "$r") <= $goal_flood_back_s + 1"
  goal "  no GUI stall over $goal_stall_ms ms but the host's ($(field over50 "$r") over 50, $(field over50_host "$r") of them the host's)" \
    "$(field over50 "$r") - $(field over50_host "$r") == 0"
  goal "  every datagram logged whole or its loss said ($(num "$(field complete "$r")") + $(num "$(field lost "$r")") of $(num "$(field sent "$r")"), $(field records "$r") records)" \
    "$(field complete "$r") + $(field lost "$r") == $(field sent "$r") && $(field complete "$r") == $(field records "$r")"
}
hostile_step() {
  local made a b t_a t_b
  made=$(python3 "$here/hostile_datagrams.py" make "$work")
  noise_bytes=$(field noise "$made")
  long_name_bytes=$(field long_name_trap "$made")
  name_octets=$(field name_octets "$made")
  echo "console: (h) hostile flood: $noise_slow_count and $noise_fast_count datagrams of $noise_bytes bytes," \
    "$long_name_count traps with a name of $name_octets octets" >&2
  hostile_flood noise "$work/noise.bin" "$noise_slow_count" "$noise_slow_rate"
  h_noise_slow=$h_result
  hostile_flood noise "$work/noise.bin" "$noise_fast_count" "$noise_fast_rate"
  h_noise_fast=$h_result
  hostile_flood long-name "$work/long_name_trap.bin" "$long_name_count" "$long_name_rate" check
  h_long_name=$h_result
  flat_out_flood "$work/noise.bin"
  # What the GUI thread takes with nothing arriving, with the 1 ms probe and
  # the clicks and without.
  start_harness hostile-idle
  warm_up
  a=$(ask stats); t_a=$(now_s)
  sleep 1
  b=$(ask stats); t_b=$(now_s)
  h_idle=$(gui_share "$a" "$t_a" "$b" "$t_b")
  ask "probe off" >/dev/null
  a=$(ask stats); t_a=$(now_s)
  sleep 1
  b=$(ask stats); t_b=$(now_s)
  h_idle_quiet=$(gui_share "$a" "$t_a" "$b" "$t_b")
  stop_harness
}
hostile_flood_rows() { # hostile_flood_rows TITLE RESULT
  local r=$2 caught_ms
  caught_ms=$(field caught_ms "$r")
  [ "$(field caught "$r")" = 1 ] || caught_ms="not in $caught_up_wait_ms"
  row "$1" "" "" ""
  row "      RSS before / peak / after, MB" \
    "$(mb "$(field rss_before "$r")") / $(mb "$(field hwm "$r")") / $(mb "$(field rss_after "$r")")" "" ""
  row "      GUI thread, % of a core: flood / after it" "$(field share "$r") / $(field after "$r")" "" ""
  row "      worst GUI stall, ms" "$(field stall "$r")" "" ""
  row "      stalls over 50 ms / of them the host's" "$(field over50 "$r") / $(field over50_host "$r")" "" ""
  row "      pane up to date after the sender, ms" "$caught_ms" "" ""
  row "      logged whole of $(num "$(field sent "$r")") / loss lines" \
    "$(num "$(field complete "$r")") / $(field loss_lines "$r")" "" ""
}
hostile_rows() {
  hostile_flood_rows "(h) hostile flood: $(num "$noise_slow_count") x $(num "$noise_bytes") B, $noise_slow_rate/s" "$h_noise_slow"
  hostile_flood_rows "    $(num "$noise_fast_count") x $(num "$noise_bytes") B, $noise_fast_rate/s" "$h_noise_fast"
  hostile_flood_rows "    $(num "$long_name_count") traps, $(num "$name_octets")-octet name, $long_name_rate/s ($(calc %.1f "$long_name_bytes * 8 * $long_name_rate / 1e6") Mbit/s)" \
    "$h_long_name"
  flat_out_flood_rows
  row "    the long-name trap alone, logged as that trap" "$h_check of 1" "" ""
  row "    GUI thread idle, % of a core: probe on / off" "$h_idle / $h_idle_quiet" "" ""
}
hostile_flood_goals() { # hostile_flood_goals NAME RESULT
  local r=$2 growth
  growth=$(calc %.1f "($(field hwm "$r") - $(field rss_before "$r")) / 1024")
  goal "hostile flood, $1: RSS growth at most $goal_hostile_mb MB ($growth)" "$growth <= $goal_hostile_mb"
  goal "  the GUI thread kept up: pane up to date within $goal_caught_up_ms ms ($(field caught_ms "$r")), then at most $goal_after_share % of a core ($(field after "$r"))" \
    "$(field caught "$r") == 1 && $(field caught_ms "$r") <= $goal_caught_up_ms && $(field after "$r") <= $goal_after_share"
  goal "  every datagram logged whole, no loss line ($(num "$(field complete "$r")") of $(num "$(field sent "$r")"))" \
    "$(field complete "$r") == $(field sent "$r") && $(field loss_lines "$r") == 0"
}
hostile_goals() {
  goal "hostile flood: the long-name trap logged as that trap, byte for byte ($h_check of 1)" "$h_check == 1"
  hostile_flood_goals "$(num "$noise_slow_count") x $(num "$noise_bytes") B at $noise_slow_rate/s" "$h_noise_slow"
  hostile_flood_goals "$(num "$noise_fast_count") x $(num "$noise_bytes") B at $noise_fast_rate/s" "$h_noise_fast"
  hostile_flood_goals "$(num "$long_name_count") long-name traps at $long_name_rate/s" "$h_long_name"
  flat_out_flood_goals
}

echo "Trap storm benchmark: console vs snmptrapd, $(nproc) cores, $([ $veth = 1 ] && echo "veth between two namespaces" || echo loopback), trap of $(($(tr -d '\n' <"$trap_hex" | wc -c) / 2)) bytes" >&2
[ $short = 1 ] && echo "(short run: tiny counts, figures mean nothing)" >&2

# The burst of $burst_huge flat out, between two settled looks at the
# console: sets huge_before and huge_after (its stats) and huge_counts
# ("logged loss_lines lost"), and resets the console's counters after it.
huge_burst() {
  settle
  huge_before=$(ask stats)
  huge_counts=$(burst_console $burst_huge)
  settle
  huge_after=$(ask stats)
  console_reset
}

# Warm-up: the console's first pane work and the log file's first pages.
warm_up() {
  blast "$trap_port" "$trap_hex" 200 2000 >/dev/null
  console_drain traps 0 200
}

# Only the stock-buffer series: N harnesses x 2 bursts of 100,000, each
# harness started afresh (its first burst is the hard one).
if [ "$series" -gt 0 ]; then
  [ $veth = 1 ] || { echo "--series needs --veth" >&2; exit 2; }
  chmod 755 "$work"
  declare -A whole first_whole fewest all_said bursts granted
  for b in "${!builds[@]}"; do
    whole[$b]=0; first_whole[$b]=0; fewest[$b]=$burst_large; all_said[$b]=1; bursts[$b]=0
  done
  for h in $(seq "$series"); do
    for b in "${!builds[@]}"; do
      harness=${builds[$b]}/bench/console_bench
      harness_env=${build_envs[$b]}
      start_harness "series$h-$b" --receive-buffer "$stock_buffer"
      granted[$b]=$console_buffer
      warm_up
      for k in 1 2; do
        read -r logged _ lost < <(burst_console $burst_large)
        bursts[$b]=$((bursts[$b] + 1))
        if [ "$logged" = "$burst_large" ]; then
          whole[$b]=$((whole[$b] + 1))
          [ $k = 1 ] && first_whole[$b]=$((first_whole[$b] + 1))
        fi
        [ "$logged" -lt "${fewest[$b]}" ] && fewest[$b]=$logged
        [ $((logged + lost)) = "$burst_large" ] || all_said[$b]=0
      done
      stop_harness
    done
    say "round $h of $series done, load $(cut -d' ' -f1-3 /proc/loadavg)"
  done
  for b in "${!builds[@]}"; do
    echo "series build=${builds[$b]}${build_envs[$b]:+:${build_envs[$b]}} bursts=${bursts[$b]} whole=${whole[$b]} first_whole=${first_whole[$b]}/$series" \
      "fewest=${fewest[$b]} every_loss_said=${all_said[$b]} granted=${granted[$b]}"
  done
  exit 0
fi

# Only the CPU per trap at the fast rate and the burst of 1,000,000, side by
# side: N rounds of one harness of each build in turn.
if [ "$side_by_side" -gt 0 ]; then
  if [ $have_trapd = 1 ]; then
    ask_trapd_cpu=$(cpu_trapd)
    kill "$trapd_pid" 2>/dev/null || true
    wait "$trapd_pid" 2>/dev/null || true
    trapd_pid=""
    echo "snmptrapd cpu_us_at_$cpu_rate=$ask_trapd_cpu"
  fi
  for h in $(seq "$side_by_side"); do
    for b in "${!builds[@]}"; do
      harness=${builds[$b]}/bench/console_bench
      harness_env=${build_envs[$b]}
      start_harness "side$h-$b"
      warm_up
      ask "probe off" >/dev/null
      read -r cpu cpu_gui < <(cpu_console "$fast_cpu_rate" "$fast_cpu_count")
      read -r slow_cpu _ < <(cpu_console "$cpu_rate" "$cpu_count")
      ask "probe on" >/dev/null
      huge_burst
      read -r logged loss_lines lost <<<"$huge_counts"
      stop_harness
      echo "side round=$h build=${builds[$b]}${build_envs[$b]:+:${build_envs[$b]}} cpu_us_at_$fast_cpu_rate=$cpu gui_us=$cpu_gui cpu_us_at_$cpu_rate=$slow_cpu" \
        "burst=$burst_huge logged=$logged said_lost=$lost loss_lines=$loss_lines" \
        "rss_before_kb=$(field rss_kb "$huge_before") peak_kb=$(field peak_rss_kb "$huge_after")" \
        "rss_after_kb=$(field rss_kb "$huge_after") most_queued=$(field most_queued "$huge_after")" \
        "load=$(cut -d' ' -f1 /proc/loadavg)"
    done
  done
  exit 0
fi

# Only step (h).
if [ $hostile_only = 1 ]; then
  t0=$SECONDS
  hostile_step
  echo
  row "figure" "console" "" ""
  hostile_rows
  echo
  echo "Goals:"
  hostile_goals
  echo
  echo "Run time: $((SECONDS - t0)) s"
  exit 0
fi

warm_up

t0=$SECONDS
# snmptrapd first, with the console idle (its 1 ms probe and clicks off).
t_rate=0; t_rate_step=0; t_burst_small=0; t_burst_large=0; t_cpu=0
if [ $have_trapd = 1 ]; then
  ask "probe off" >/dev/null
  echo "snmptrapd: (a) loss-free rate, (b) bursts, (c) CPU at $cpu_rate/s" >&2
  read -r t_rate t_rate_step < <(ramp_trapd)
  t_burst_small=$(burst_trapd $burst_small)
  t_burst_large=$(burst_trapd $burst_large)
  t_cpu=$(cpu_trapd)
  kill "$trapd_pid" 2>/dev/null || true
  wait "$trapd_pid" 2>/dev/null || true
  trapd_pid=""
fi

# The console, with its instruments off for the CPU figure, on for the rest.
echo "console: (c) CPU at $cpu_rate/s and $fast_cpu_rate/s, (a) loss-free rate, (b) bursts" >&2
ask "probe off" >/dev/null
read -r c_cpu c_cpu_gui < <(cpu_console "$cpu_rate" "$cpu_count")
read -r c_fast_cpu c_fast_cpu_gui < <(cpu_console "$fast_cpu_rate" "$fast_cpu_count")
ask "probe on" >/dev/null
read -r c_rate c_rate_step < <(ramp_console)
read -r c_burst_small _ _ < <(burst_console $burst_small)
[ "$c_burst_small" = "$burst_small" ] && no_stray_losses trap "$trap_hex"
read -r c_burst_large _ _ < <(burst_console $burst_large)
[ "$c_burst_large" = "$burst_large" ] && no_stray_losses trap "$trap_hex"
# A burst far beyond any receive buffer: every trap logged or its loss said;
# memory taken meanwhile (the most the process ever held) and given back.
huge_burst
read -r c_burst_huge c_huge_loss_lines c_huge_lost <<<"$huge_counts"
huge_rss_before=$(field rss_kb "$huge_before")
huge_peak=$(field peak_rss_kb "$huge_after")
huge_rss_after=$(field rss_kb "$huge_after")
huge_queued=$(field most_queued "$huge_after")
# The growth allowed: goal_burst_mb, and when the queue held more than 32 MiB
# at its fullest, that much more (its writer went on past the first 32 MiB
# in a third run). A record of this trap from an IPv4 sender: a 24-byte
# header, 4 of address, the trap, rounded up to 8.
trap_record=$(( ( 24 + 4 + $(tr -d '\n' <"$trap_hex" | wc -c) / 2 + 7 ) / 8 * 8 ))
goal_burst_allowed=$(calc %.1f "$goal_burst_mb + ($huge_queued * $trap_record / 1048576 > 32 ? $huge_queued * $trap_record / 1048576 : 0)")

# (d) and (e): a long storm at the target rate (or the highest rate the
# console held without loss, if that is lower): worst GUI stall, clicks, and
# resident memory before and after.
if [ "$c_rate_step" -gt 0 ] && [ "$c_rate_step" -lt "$long_rate" ]; then long_rate=$c_rate_step; fi
echo "console: (d, e) $long_count traps at $long_rate/s" >&2
settle
console_reset
before=$(console_traps)
stats_before=$(ask stats)
stall_lines=$(wc -l <"$work/console.err")
python3 "$here/host_steal.py" watch 120 >"$work/steal.txt" &
steal_pid=$!
out=$(blast "$trap_port" "$trap_hex" "$long_count" "$long_rate")
stats_storm=$(ask stats)
kill "$steal_pid" 2>/dev/null || true
wait "$steal_pid" 2>/dev/null || true
tail -n +"$((stall_lines + 1))" "$work/console.err" | grep '^stall' >"$work/stalls.txt" || true
stall_match=$(python3 "$here/host_steal.py" match "$work/stalls.txt" "$work/steal.txt")
steal_total=$(grep '^total' "$work/steal.txt" || echo "total steal_ms=0 cpu_ms=0")
console_drain traps "$before" "$long_count"
stats_after=$(ask stats)
read -r l_records l_complete l_lines < <(console_logged trap "$trap_hex")
console_reset
say "console   long storm: sent $(field sent "$out") at $(field rate "$out")/s, logged $l_records, complete $l_complete"
say "console   long storm: $stats_storm"
say "console   long storm: stalls over 10 ms: $(wc -l <"$work/stalls.txt"), $stall_match; host $steal_total"
rss_before=$(field rss_kb "$stats_before")
rss_after=$(field rss_kb "$stats_after")
long_cpu=$(calc %.1f "($(field cpu_ms "$stats_after") - $(field cpu_ms "$stats_before")) * 1000 / ($l_complete > 0 ? $l_complete : 1)")

# (f) the response path: GetRequests through GETButton to a responder that
# answers at once, then a flood of responses.
echo "console: (f) response path" >&2
settle
"${in_sender[@]}" "$responder" --listen "$sender_addr:$agent_port" --max-replies $((gets + 10)) --max-seconds 300 >"$work/responder.out" &
responder_pid=$!
for _ in $(seq 50); do grep -q listening "$work/responder.out" 2>/dev/null && break; sleep 0.1; done
console_reset
gets_line=$(ask "gets $gets")
kill "$responder_pid" 2>/dev/null || true
wait "$responder_pid" 2>/dev/null || true
responder_pid=""
say "console   $gets_line"
console_reset
before=$(console_responses)
out=$(blast "$request_port" "$response_hex" "$flood_count" "$flood_rate")
console_drain responses "$before" "$flood_count"
read -r f_records f_complete f_lines < <(console_logged response "$response_hex")
say "console   response flood: sent $(field sent "$out") at $(field rate "$out")/s, logged $f_records, complete ($f_lines lines) $f_complete"

[ "$f_complete" = "$flood_count" ] && no_stray_losses response "$response_hex"
stop_harness
stray_loss_lines=$(awk '{ n += $1 } END { print n + 0 }' "$work/stray-losses" 2>/dev/null || echo 0)

# The same burst, the console's socket asking for a stock system's buffer.
echo "console: (b) burst of $burst_large with a receive buffer of $stock_buffer bytes" >&2
start_harness stock --receive-buffer "$stock_buffer"
stock_granted=$console_buffer
warm_up
# The burst is sent $stock_repeats times, to tell how often a stock buffer
# holds: the first burst's count, how many were all logged, the fewest logged
# of one, and whether every burst's loss was said.
c_burst_stock=""; stock_clean=0; stock_worst=$burst_large; stock_said=1
for _ in $(seq $stock_repeats); do
  read -r logged _ lost < <(burst_console $burst_large)
  [ -n "$c_burst_stock" ] || c_burst_stock=$logged
  if [ "$logged" = "$burst_large" ]; then
    stock_clean=$((stock_clean + 1))
    no_stray_losses trap "$trap_hex"
  fi
  [ "$logged" -lt "$stock_worst" ] && stock_worst=$logged
  [ $((logged + lost)) = "$burst_large" ] || stock_said=0
done
stop_harness

# Forced loss: the bench's harness with queues of $tiny_queue datagrams.
echo "console: forced loss, queues of $tiny_queue datagrams, $forced_count traps flat out" >&2
start_harness forced --queue-entries "$tiny_queue"
warm_up
console_reset
before=$(console_traps)
out=$(blast "$trap_port" "$trap_hex" "$forced_count" 0)
forced_sent=$(field sent "$out")
console_drain traps "$before" "$forced_sent"
sleep 0.5  # the losses at the end are said once the socket is quiet
read -r forced_records forced_complete _ < <(console_logged trap "$trap_hex")
read -r forced_loss_lines forced_lost < <(console_losses trap "$trap_hex")
stray_loss_lines=$(awk '{ n += $1 } END { print n + 0 }' "$work/stray-losses" 2>/dev/null || echo 0)
say "console   forced loss: sent $forced_sent, logged $forced_records, complete $forced_complete," \
  "$forced_loss_lines loss lines saying $forced_lost lost"
stop_harness

hostile_step

echo
row "figure" "console" "snmptrapd" "ratio"
row "(a) loss-free rate, traps/s (5 s steps)" "$(num "$c_rate")" "$(num "$t_rate")" "$(ratio "$c_rate" "$t_rate")"
row "(b) logged of a flat-out burst of $(num $burst_small)" "$(num "$c_burst_small")" "$(num "$t_burst_small")" "$(ratio "$c_burst_small" "$t_burst_small")"
row "    logged of a flat-out burst of $(num $burst_large)" "$(num "$c_burst_large")" "$(num "$t_burst_large")" "$(ratio "$c_burst_large" "$t_burst_large")"
row "      the same, receive buffer $(num $stock_buffer) B" "$(num "$c_burst_stock")" "$(num "$t_burst_large")" "$(ratio "$c_burst_stock" "$t_burst_large")"
row "      $stock_repeats such bursts: all logged / fewest logged" "$stock_clean / $(num "$stock_worst")" "" ""
row "    logged of a flat-out burst of $(num $burst_huge)" "$(num "$c_burst_huge")" "" ""
row "      lost, as said by $c_huge_loss_lines loss lines" "$(num "$c_huge_lost")" "" ""
row "      RSS before / peak / after, MB" "$(mb "$huge_rss_before") / $(mb "$huge_peak") / $(mb "$huge_rss_after")" "" ""
row "      most traps queued at once" "$(num "$huge_queued")" "" ""
row "(c) CPU per trap at $(num $cpu_rate)/s, us" "$c_cpu" "$t_cpu" "$(ratio "$c_cpu" "$t_cpu")"
row "    of it on the console's GUI thread, us" "$c_cpu_gui" "" ""
row "    CPU per trap at $(num $fast_cpu_rate)/s, us" "$c_fast_cpu" "" ""
row "    of it on the console's GUI thread, us" "$c_fast_cpu_gui" "" ""
row "(d) worst GUI stall at $(num $long_rate)/s, ms" "$(field stall_ms "$stats_storm")" "" ""
own=$(field worst_own_ms "$stall_match")
[ "${own:-0}" = "0.0" ] && own="<10"
row "    the same, without the host's pauses, ms" "$own" "" ""
row "    stalls over 50 ms / of them the host's" "$(field over50 "$stall_match") / $(field over50_host "$stall_match")" "" ""
row "    host steal during the storm, % of CPU time" \
  "$(awk -v s="$(field steal_ms "$steal_total")" -v c="$(field cpu_ms "$steal_total")" 'BEGIN { printf "%.1f", (c > 0 ? 100 * s / c : 0) }')" "" ""
row "    click answered, worst ms ($(field clicks "$stats_storm") clicks)" "$(field click_max_ms "$stats_storm")" "" ""
row "    CPU per trap at $(num $long_rate)/s, us" "$long_cpu" "" ""
row "(e) RSS before / after $(num $long_count) traps, MB" "$(mb "$rss_before") / $(mb "$rss_after")" "" ""
row "    RSS growth, MB" "$(calc %.1f "($rss_after - $rss_before) / 1024")" "" ""
row "    of them logged complete" "$(num "$l_complete")" "" ""
row "(f) GetRequest -> pane, median / p99 ms" "$(field median_ms "$gets_line") / $(field p99_ms "$gets_line")" "" ""
row "    answered of $gets GetRequests" "$(field answered "$gets_line")" "" ""
row "    responses logged of $(num $flood_count) at $(num $flood_rate)/s" "$(num "$f_complete")" "" ""
row "(g) forced loss: sent / logged complete" "$(num "$forced_sent") / $(num "$forced_complete")" "" ""
row "    loss lines / lost as they say" "$forced_loss_lines / $(num "$forced_lost")" "" ""
row "    loss lines in runs that lost nothing" "$stray_loss_lines" "" ""
hostile_rows
echo
echo "Every console figure counts only traps whose $l_lines log lines are all there, byte for byte."
echo "Receive buffer granted: $(num "$stock_granted") B when asked for $(num $stock_buffer), $(num "$first_buffer") B for the console's own."

echo
echo "Goals:"
goal "a flat-out burst of $(num $burst_large) logged complete ($(num "$c_burst_large"))" "$c_burst_large == $burst_large"
goal "the same with a receive buffer of $(num $stock_buffer) B ($(num "$c_burst_stock"))" "$c_burst_stock == $burst_large"
goal "  in $stock_repeats such bursts, every loss said: logged + said lost = sent" "$stock_said == 1"
goal "a flat-out burst of $(num $burst_huge): logged + said lost = sent ($(num "$c_burst_huge") + $(num "$c_huge_lost"))" \
  "$c_burst_huge + $c_huge_lost == $burst_huge"
goal "  memory growth during it at most $goal_burst_allowed MB ($(calc %.1f "($huge_peak - $huge_rss_before) / 1024"))" \
  "($huge_peak - $huge_rss_before) / 1024 <= $goal_burst_allowed"
goal "  memory given back, within $goal_back_mb MB ($(calc %.1f "($huge_rss_after - $huge_rss_before) / 1024"))" \
  "($huge_rss_after - $huge_rss_before) / 1024 <= $goal_back_mb"
goal "loss-free rate at least $(num $goal_rate)/s ($(num "$c_rate"))" "$c_rate >= $goal_rate"
goal "CPU per trap at $(num $fast_cpu_rate)/s at most $goal_cpu_us us ($c_fast_cpu)" "$c_fast_cpu <= $goal_cpu_us"
goal "every line byte for byte and in order in the long storm ($(num "$l_complete") of $(num $long_count))" \
  "$l_complete == $long_count"
goal "GUI stall under $goal_stall_ms ms at $(num $long_rate)/s ($(field stall_ms "$stats_storm"))" \
  "$(field stall_ms "$stats_storm") < $goal_stall_ms"
goal "clicks answered ($(field clicks "$stats_storm"), none left waiting)" \
  "$(field clicks "$stats_storm") > 0 && $(field click_waiting "$stats_storm") == 0"
goal "RSS flat over $(num $long_count) traps at $(num $long_rate)/s, growth under $goal_rss_mb MB" \
  "($rss_after - $rss_before) / 1024 < $goal_rss_mb"
goal "forced loss said: logged + said lost = sent, in at least one line" \
  "$forced_complete + $forced_lost == $forced_sent && $forced_loss_lines >= 1"
goal "no loss line where nothing was lost" "$stray_loss_lines == 0"
goal "GetRequest to pane, median at most $goal_get_ms ms ($(field median_ms "$gets_line"))" \
  "$(field median_ms "$gets_line") <= $goal_get_ms"
hostile_goals
echo
echo "Run time: $((SECONDS - t0)) s"
