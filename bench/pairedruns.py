#!/usr/bin/env python3
"""Times whole processes in paired, interleaved rounds: every round runs each command of a case
once, in an order that rotates from round to round, so that a burst of other work on a shared
machine falls on all of them alike. Per run: wall time, and CPU time (user + system) as the kernel
counts it for the child (wait4), at microsecond resolution.

    pairedruns.py SPEC.json RUNS OUT.json

SPEC: [{"case": ..., "tool": ..., "cmd": [...], "env": {...}}, ...]; one warm-up round first.
OUT: per case and tool, the medians (ms) and, against the case's "ours", the median of the
per-round ratios peer/ours for wall and for CPU.
"""
import json
import os
import statistics
import subprocess
import sys
import time


def run_once(cmd, env):
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        proc = subprocess.Popen(cmd, stdout=null, stderr=null, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return wall * 1000.0, (usage.ru_utime + usage.ru_stime) * 1000.0, proc.returncode


def main():
    plan_path, runs, out_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(plan_path) as f:
        plan = json.load(f)
    cases = {}
    for item in plan:
        env = dict(os.environ)
        env.update(item.get("env", {}))
        cases.setdefault(item["case"], []).append((item["tool"], item["cmd"], env))
    load_before = os.getloadavg()
    result = {"runs": runs, "cases": {}}
    for case, tools in cases.items():
        samples = {tool: {"wall": [], "cpu": [], "status": set()} for tool, _, _ in tools}
        for round_no in range(runs + 1):
            shift = round_no % len(tools)
            for tool, cmd, env in tools[shift:] + tools[:shift]:
                wall, cpu, status = run_once(cmd, env)
                if round_no == 0:
                    continue  # warm-up: caches, page cache, lazy binding
                samples[tool]["wall"].append(wall)
                samples[tool]["cpu"].append(cpu)
                samples[tool]["status"].add(status)
        ours = samples.get("ours")
        out = {}
        for tool, s in samples.items():
            entry = {
                "wall_ms": statistics.median(s["wall"]),
                "cpu_ms": statistics.median(s["cpu"]),
                "exit": sorted(s["status"]),
            }
            if ours and tool != "ours":
                entry["wall_ratio"] = statistics.median(p / o for p, o in zip(s["wall"], ours["wall"]) if o > 0)
                entry["cpu_ratio"] = statistics.median(p / o for p, o in zip(s["cpu"], ours["cpu"]) if o > 0)
            out[tool] = entry
        result["cases"][case] = out
    result["load_before"] = load_before
    result["load_after"] = os.getloadavg()
    with open(out_path, "w") as f:
        json.dump(result, f, indent=1)


if __name__ == "__main__":
    main()
