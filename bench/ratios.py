#!/usr/bin/env python3
"""Summarises a tavrona-bench JSON report as ratios measured in the same run.

    build/bin/tavrona-bench --benchmark_repetitions=3 --benchmark_out=bench.json
    python3 bench/ratios.py bench.json

Prints, as medians over the repetitions (a report of aggregates only gives its medians):
  - the separate figures: every kernel case in Mpix/s beside memcpy and pixman;
  - the paired figures (kernel and pixman timed alternately in thread time): the ratio kernel /
    pixman, nearest for methods 1 and 2, bilinear for 3 and 4;
  - the same against Qt's raster painter (process time: Qt may spread a draw over threads),
    non-smooth for methods 1 and 2, smooth for 3 and 4;
  - the Qt ratios as a table (a row per kernel and placement, a column per case);
  - the unscaled opacity draws as a share of the memcpy rate, the two timed alternately;
  - keyed against unkeyed draws of the same kernel;
  - the alternating one/two-thread runs: the speed-up of two threads over one, the same for
    the first draw after a switch, and the processor time two threads spend over what one
    spends (above 1: they slow each other down).
"""
import json
import statistics
import sys
from collections import defaultdict


def main(path):
    with open(path) as f:
        report = json.load(f)
    values = defaultdict(lambda: defaultdict(list))
    # A report written with --benchmark_report_aggregates_only holds no single repetitions;
    # its medians are used instead.
    has_repetitions = any(b.get("run_type") != "aggregate" for b in report["benchmarks"])
    for b in report["benchmarks"]:
        if has_repetitions and b.get("run_type") == "aggregate":
            continue
        if not has_repetitions and b.get("aggregate_name") != "median":
            continue
        name = b["run_name"].replace("/real_time", "")
        for key in ("Mpix/s", "ratio", "kernel_Mpix/s", "pixman_Mpix/s", "qt_Mpix/s", "speedup",
                    "first", "work"):
            if key in b:
                values[name][key].append(b[key])
    med = {n: {k: statistics.median(v) for k, v in d.items()} for n, d in values.items()}

    print("separate runs, Mpix/s")
    for name in sorted(med):
        if "Mpix/s" in med[name]:
            print(f"  {name:56} {med[name]['Mpix/s']:9.1f}")
    print("paired with pixman (thread time): kernel Mpix/s, pixman Mpix/s, ratio")
    for name in sorted(med):
        if name.startswith("paired/"):
            m = med[name]
            print(f"  {name[7:]:56} {m['kernel_Mpix/s']:9.1f} {m['pixman_Mpix/s']:9.1f} "
                  f"{m['ratio']:6.2f}")
    print("paired with Qt (process time): kernel Mpix/s, Qt Mpix/s, ratio")
    for name in sorted(med):
        if name.startswith("qtpaired/"):
            m = med[name]
            print(f"  {name[9:]:56} {m['kernel_Mpix/s']:9.1f} {m['qt_Mpix/s']:9.1f} "
                  f"{m['ratio']:6.2f}")
    table = [(k, pl) for k in ("DrawNormal", "DrawLinear", "DrawBoundaryCorrected",
                                "DrawLinearColourCorrected")
             for pl in ("rotated", "scaled", "unscaled", "minified")]
    rows = [(k, pl) for k, pl in table if f"qtpaired/{k}/{pl}/opaque" in med]
    if rows:
        print("against Qt, as a table: opaque, opacity, add, keyed (keyed against Qt plain)")
        for k, pl in rows:
            cells = []
            for c in ("opaque", "opacity", "add", "keyed"):
                m = med.get(f"qtpaired/{k}/{pl}/{c}")
                cells.append(f"{m['ratio']:6.2f}" if m else "     -")
            print(f"  {k + ' ' + pl:36} " + " ".join(cells))
    print("unscaled opacity draws as a share of the memcpy rate (timed alternately)")
    for name in sorted(med):
        if name.startswith("memcpypaired/"):
            print(f"  {name[13:]:56} {med[name]['ratio']:6.2f}")
    print("keyed over unkeyed (thread time)")
    for name in sorted(med):
        if name.startswith("keyed/"):
            print(f"  {name[6:]:56} {med[name]['ratio']:6.2f}")
    print("two threads over one (alternating turns): speed-up in wall clock, first draw of a "
          "turn, processor time")
    speedups = []
    for name in sorted(med):
        if name.startswith("threads/") and "speedup" in med[name]:
            m = med[name]
            if name != "threads/memcpy":  # the ceiling memory sets, not a case
                speedups.append(m["speedup"])
            print(f"  {name[8:]:56} {m['speedup']:6.2f} {m['first']:6.2f} {m['work']:6.2f}")
    if speedups:
        print(f"  median speed-up over all cases: {statistics.median(speedups):.2f}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "bench.json")
