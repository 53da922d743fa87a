#!/bin/bash
# SIGTERM, SIGINT and SIGHUP (the terminal closed) end the console within a
# second whatever box is open, and the day's log ends with the stop mark;
# started with SIGHUP ignored (nohup), it outlives a SIGHUP. In a network
# namespace (the console's of netns.sh), as root:
#
#   start-up  the shipped quillet, UDP 162 already taken: the bind box is
#             open and the window's constructor waits on it
#   receive   startup_harness, UDP 162 taken, the bind box closed: the trap
#             listener's receive-error box is open and the listener waits
#             on it
#   send      startup_harness, a GetRequest to 255.255.255.255 that the
#             kernel refuses: the sendto box is open in a click handler
#
#   $1: the quillet executable
#   $2: the build directory (the harness is $2/tests/startup_harness)
# Skips (exit 77) when not root or when ip netns or python3 is missing.
set -u

quillet="${1:?usage: stop_signal_test.sh QUILLET BUILD_DIR}"
build="${2:?usage: stop_signal_test.sh QUILLET BUILD_DIR}"
quillet="$(realpath -- "$quillet")"
harness="$(realpath -- "$build/tests/startup_harness")"
here="$(cd "$(dirname "$0")" && pwd)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# shellcheck source=netns.sh
source "$here/netns.sh"
netns_check_able python3 ss || exit 77
require_programs "$quillet" "$harness"

netns_workspace stop

netns_setup "$$" || exit 1

# Another program on UDP 162 of the console's namespace, for the whole run.
netns_spawn "$NETNS_CONSOLE" "$work" "$work/holder.log" 250 python3 -c '
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 162))
time.sleep(240)'
if ! wait_until 5 udp_bound "$NETNS_CONSOLE" 162; then
    echo "FAIL: the program holding UDP 162 did not start"
    exit 1
fi

# start_console NAME CMD...: starts CMD in the console's namespace with the
# working directory $work/NAME, stdout in $work/NAME.out. CONSOLE_PID is the
# program's own pid (ip netns exec execs it).
start_console() {
    local name="$1"
    shift
    mkdir -p "$work/$name"
    (cd "$work/$name" && exec ip netns exec "$NETNS_CONSOLE" "$@") >"$work/$name.out" 2>"$work/$name.err" &
    CONSOLE_PID=$!
}

log_started() { grep -qa '^++LOGGING START' "$work/$1"/LOG/*.LOG 2>/dev/null; }
box_shown() { grep -qsF "box: $2" "$work/$1.out"; }

# stop_and_check NAME SIGNAL: sends SIGNAL, then checks that the process
# has ended within a second with status 0 and that its log holds one run
# whose last record is the stop mark.
stop_and_check() {
    local name="$1" signal="$2"
    if pid_gone "$CONSOLE_PID"; then
        fail "$name: the console ended before the signal"
        cat "$work/$name.err"
        return
    fi
    local started elapsed=0 gone=0
    started=$(date +%s%N)
    kill "-$signal" "$CONSOLE_PID"
    # Decided once: a process whose threads are still being torn down can
    # read as gone (its main thread a zombie) and a moment later not.
    while [ "$elapsed" -le 1000 ]; do
        if pid_gone "$CONSOLE_PID"; then
            gone=1
            break
        fi
        sleep 0.01
        elapsed=$((($(date +%s%N) - started) / 1000000))
    done
    elapsed=$((($(date +%s%N) - started) / 1000000))
    if [ "$gone" -eq 0 ]; then
        fail "$name: still running ${elapsed} ms after SIG$signal"
        kill -KILL "$CONSOLE_PID" 2>/dev/null
        wait "$CONSOLE_PID" 2>/dev/null
        CONSOLE_PID=""
        return
    fi
    wait "$CONSOLE_PID"
    local status=$?
    CONSOLE_PID=""
    [ "$status" -eq 0 ] || fail "$name: exit status $status after SIG$signal"
    local log
    log="$(ls "$work/$name"/LOG/*.LOG 2>/dev/null | head -1)"
    if [ -z "$log" ]; then
        fail "$name: no log file"
        return
    fi
    local starts stops last
    starts=$(grep -ac '^++LOGGING START' "$log")
    stops=$(grep -ac '^--LOGGING STOP' "$log")
    last=$(tr -d '\r' <"$log" | grep -av '^$' | tail -1)
    if [ "$starts" -ne 1 ] || [ "$stops" -ne 1 ] || [ "${last#--LOGGING STOP}" = "$last" ]; then
        fail "$name: the log does not end with the stop mark ($starts start, $stops stop marks; last record: $last)"
        return
    fi
    echo "ok: $name: ended ${elapsed} ms after SIG$signal, log ends with the stop mark"
}

bind_box="recv bind=NG  当プログラムを既に起動していませんか？ "
receive_box="PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ "
send_box="sendto=NG  当プログラムを既に起動していませんか？ "

# The shipped program: a box it shows cannot be seen from here; its
# constructor is on the bind box once the start mark is written (a signal
# that comes earlier waits for the box's event loop).
for signal in TERM INT HUP; do
    name="startup-$signal"
    start_console "$name" "$quillet"
    if wait_until 10 log_started "$name"; then
        sleep 0.3
        stop_and_check "$name" "$signal"
    else
        fail "$name: no start mark"
        kill -KILL "$CONSOLE_PID" 2>/dev/null
    fi
done

# The harness: the bind box closed, the trap listener's receive-error box open.
for signal in TERM INT HUP; do
    name="receive-$signal"
    start_console "$name" "$harness" --close-boxes=1
    if wait_until 10 box_shown "$name" "$receive_box"; then
        stop_and_check "$name" "$signal"
    else
        fail "$name: no receive-error box"
        cat "$work/$name.out"
        kill -KILL "$CONSOLE_PID" 2>/dev/null
    fi
done

# Started by nohup: SIGHUP was ignored before the console began, and stays
# so; SIGTERM still ends it with the stop mark.
name="nohup-HUP"
start_console "$name" nohup "$quillet"
if wait_until 10 log_started "$name"; then
    sleep 0.3
    kill -HUP "$CONSOLE_PID"
    sleep 1
    if pid_gone "$CONSOLE_PID"; then
        fail "$name: SIGHUP ended a console started by nohup"
        wait "$CONSOLE_PID" 2>/dev/null
        CONSOLE_PID=""
    else
        echo "ok: $name: a console started by nohup outlives SIGHUP"
        stop_and_check "$name" TERM
    fi
else
    fail "$name: no start mark"
    kill -KILL "$CONSOLE_PID" 2>/dev/null
fi

# The harness: both start-up boxes closed, the sendto box open.
name="send-TERM"
start_console "$name" "$harness" --close-boxes=2 --send-to=255.255.255.255
if wait_until 10 box_shown "$name" "$send_box"; then
    stop_and_check "$name" TERM
else
    fail "$name: no sendto box"
    cat "$work/$name.out"
    kill -KILL "$CONSOLE_PID" 2>/dev/null
fi

# The boxes came in the order of start-up.
if ! grep -q '^box: ' "$work/receive-TERM.out" ||
    [ "$(grep '^box: ' "$work/receive-TERM.out" | head -1)" != "box: $bind_box | UDPポート162は python3 ($(
        ip netns exec "$NETNS_CONSOLE" ss -Hulpn 'sport = :162' | sed -nE 's/.*pid=([0-9]+).*/PID \1/p' | head -1
    )) が使用しています。" ]; then
    fail "the first box of the receive run is not the bind box naming the holder"
    cat "$work/receive-TERM.out"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all stop signal checks passed"
