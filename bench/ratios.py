#!/usr/bin/env python3
"""Summarises a tavrona-bench JSON report as ratios measured in the same run.

    build/bin/tavrona-bench --benchmark_repetitions=3 --benchmark_out=bench.json
    python3 bench/ratios.py bench.json

For every kernel case: the median Mpix/s, its ratio to pixman's nearest (methods 1 and 2) or
bilinear (methods 3 and 4) composite under the same placement, and the two-thread speed-up.
"""
import json
import statistics
import sys
from collections import defaultdict


def main(path):
    with open(path) as f:
        report = json.load(f)
    runs = defaultdict(list)
    for b in report["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = b["run_name"].replace("/real_time", "")
        runs[name].append(b["Mpix/s"])
    median = {name: statistics.median(values) for name, values in runs.items()}
    memcpy = median.get("memcpy/frame")
    if memcpy:
        print(f"memcpy/frame {memcpy:10.1f} Mpix/s")
    nearest_kernels = ("DrawNormal", "DrawBoundaryCorrected")
    print(f"{'kernel case':52} {'Mpix/s':>9} {'vs pixman':>10} {'2 threads':>10}")
    for name in sorted(median):
        if name.startswith("pixman"):
            print(f"{name:52} {median[name]:9.1f}")
    for name in sorted(median):
        parts = name.split("/")
        if len(parts) != 4 or parts[3] != "threads:1":
            continue
        kernel, placement = parts[0], parts[1]
        baseline = median.get(f"pixman/{placement}/" +
                              ("nearest" if kernel in nearest_kernels else "bilinear"))
        two = median.get("/".join(parts[:3] + ["threads:2"]))
        ratio = f"{median[name] / baseline:10.2f}" if baseline else " " * 10
        speedup = f"{two / median[name]:10.2f}" if two else ""
        print(f"{'/'.join(parts[:3]):52} {median[name]:9.1f} {ratio} {speedup}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "bench.json")
