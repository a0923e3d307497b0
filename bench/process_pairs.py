#!/usr/bin/env python3
"""Wall time of two commands, measured side by side: runs them in pairs, alternating which goes
first, and reports the median of each and the median of the per-pair ratios.

    process_pairs.py [--required X] [--goal Y] RUNS -- COMMAND_A ... -- COMMAND_B ...

The verdict compares the median ratio with the required bound (default 1.5) and the goal (1.0).
"""
import os
import statistics
import sys
import time

args = sys.argv[1:]
bounds = {"--required": 1.5, "--goal": 1.0}
while args[0] in bounds:
    bounds[args[0]] = float(args[1])
    args = args[2:]
required, goal = bounds["--required"], bounds["--goal"]
runs = int(args[0])
rest = args[1:]
split = [i for i, arg in enumerate(rest) if arg == "--"]
a, b = rest[split[0] + 1:split[1]], rest[split[1] + 1:]
devnull = os.open(os.devnull, os.O_WRONLY)


def once(argv):
    start = time.perf_counter_ns()
    pid = os.posix_spawnp(argv[0], argv, os.environ,
                          file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter_ns() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed")
    return elapsed / 1e6


for _ in range(10):  # warm the page cache and the dynamic loader's
    once(a), once(b)
times_a, times_b, ratios = [], [], []
for i in range(runs):
    if i % 2:
        tb, ta = once(b), once(a)
    else:
        ta, tb = once(a), once(b)
    times_a.append(ta)
    times_b.append(tb)
    ratios.append(ta / tb)


def summary(times):
    q = statistics.quantiles(times, n=10)
    return f"median {statistics.median(times):6.2f} ms   p10 {q[0]:6.2f}   p90 {q[-1]:6.2f}"


width = max(len(" ".join(a)), len(" ".join(b)))
print(f"  {' '.join(a):<{width}}  {summary(times_a)}")
print(f"  {' '.join(b):<{width}}  {summary(times_b)}")
ratio = statistics.median(ratios)
verdict = "goal met" if ratio <= goal else "required bound met" if ratio <= required else "TOO SLOW"
print(f"  median of {runs} pair ratios: {ratio:.2f}x  "
      f"({verdict}: required <= {required}x, goal <= {goal}x)")
