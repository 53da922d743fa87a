#!/usr/bin/env python3
"""The host's steal time, and which stalls of the console it explains.

    host_steal.py watch SECONDS     samples /proc/stat every 10 ms for at most
                                    SECONDS (120 at most) or until SIGTERM;
                                    prints "<monotonic time> <cpu> <ticks>" for
                                    each rise of a CPU's steal time, then
                                    "total steal_ms=<n> cpu_ms=<n>"
    host_steal.py match STALLS STEAL
                                    STALLS: console_bench --trace-stalls output
                                    ("stall <ms> ms ending at <time>"); STEAL:
                                    the watch output. Prints "worst_ms=..
                                    worst_own_ms=.. over50=.. over50_host=..".

On a virtual machine the host may pause a virtual CPU (here in slices of
100 ms) when the guest uses more than its share; a thread on that CPU then
stalls whatever it does. A stall counts as the host's when, on one CPU, the
host took at least half of the stall's length in steal time within the
stall's window (sampling slack of 20 ms on both sides).
"""
import os
import signal
import sys
import time

TICK_MS = 1000.0 / os.sysconf("SC_CLK_TCK")


def read_steal():
    steal = {}
    with open("/proc/stat") as f:
        for line in f:
            fields = line.split()
            if fields[0].startswith("cpu"):
                # user nice system idle iowait irq softirq steal ...
                steal[fields[0]] = (int(fields[8]), sum(int(x) for x in fields[1:9]))
    return steal


def watch(seconds):
    seconds = min(float(seconds), 120.0)
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    start = time.monotonic()
    first = previous = read_steal()
    while not stop and time.monotonic() - start < seconds:
        time.sleep(0.01)
        current = read_steal()
        now = time.clock_gettime(time.CLOCK_MONOTONIC)
        for cpu, (steal, _) in current.items():
            if cpu != "cpu" and steal > previous[cpu][0]:
                print("%.3f %s %d" % (now, cpu, steal - previous[cpu][0]), flush=True)
        previous = current
    total_steal = (previous["cpu"][0] - first["cpu"][0]) * TICK_MS
    total_cpu = (previous["cpu"][1] - first["cpu"][1]) * TICK_MS
    print("total steal_ms=%.0f cpu_ms=%.0f" % (total_steal, total_cpu), flush=True)


def match(stalls_path, steal_path):
    samples = []
    with open(steal_path) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 3 and fields[0] != "total":
                samples.append((float(fields[0]), fields[1], int(fields[2]) * TICK_MS))
    worst = worst_own = 0.0
    over50 = over50_host = 0
    with open(stalls_path) as f:
        for line in f:
            fields = line.split()
            if len(fields) != 6 or fields[0] != "stall":
                continue
            length, end = float(fields[1]), float(fields[5])
            begin = end - length / 1000.0
            by_cpu = {}
            for at, cpu, ms in samples:
                if begin - 0.02 <= at <= end + 0.02:
                    by_cpu[cpu] = by_cpu.get(cpu, 0.0) + ms
            host = any(ms >= length / 2 for ms in by_cpu.values())
            worst = max(worst, length)
            if not host:
                worst_own = max(worst_own, length)
            if length > 50:
                over50 += 1
                over50_host += host
    print("worst_ms=%.1f worst_own_ms=%.1f over50=%d over50_host=%d" % (worst, worst_own, over50, over50_host))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "watch":
        watch(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "match":
        match(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
