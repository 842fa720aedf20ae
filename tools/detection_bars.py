#!/usr/bin/env python3
"""Prints the detection bars: how many times faster than OpenCV's typical
pipeline each zone layout is processed, both measured in the same run.

    tools/detection_bars.py [BENCH] [--repetitions N]

BENCH defaults to build/release/bench/detection/tessary_detection_bench. Each
benchmark runs N times (9), the runs of ours and the peer's interleaved at
random so that a busy spell of a shared machine falls on both alike; each
side's median real time counts. Exits 1 when a ratio falls short of its target, 2 when the benchmark
cannot be run.
"""
import argparse
import json
import subprocess
import sys

# Our benchmark, its peer, and the ratio it must reach.
BARS = [
    ("BM_FullFrameZone", "BM_OpenCv_FullFrameZone", 1.3),
    ("BM_Grid8x8", "BM_OpenCv_Grid8x8", 2.0),
    ("BM_Grid40x30", "BM_OpenCv_Grid40x30", 5.0),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bench", nargs="?",
                        default="build/release/bench/detection/tessary_detection_bench")
    parser.add_argument("--repetitions", type=int, default=9)
    args = parser.parse_args()

    names = [name for bar in BARS for name in bar[:2]]
    command = [args.bench, "--benchmark_format=json",
               f"--benchmark_repetitions={args.repetitions}",
               "--benchmark_report_aggregates_only=true",
               "--benchmark_enable_random_interleaving=true",
               "--benchmark_filter=^(" + "|".join(names) + ")$"]
    try:
        result = subprocess.run(command, capture_output=True, text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"detection_bars: cannot run {args.bench}: {error}", file=sys.stderr)
        return 2
    medians = {}
    for entry in json.loads(result.stdout)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry["real_time"]  # nanoseconds

    short = False
    print(f"{'layout':<16} {'ours µs':>9} {'OpenCV µs':>10} {'ratio':>6} {'target':>7}")
    for ours, peer, target in BARS:
        if ours not in medians or peer not in medians:
            print(f"detection_bars: {ours} or {peer} did not run", file=sys.stderr)
            return 2
        ratio = medians[peer] / medians[ours]
        short |= ratio < target
        print(f"{ours[3:]:<16} {medians[ours] / 1000:>9.1f} {medians[peer] / 1000:>10.1f} "
              f"{ratio:>5.2f}x {target:>6.1f}x{'' if ratio >= target else '  SHORT'}")
    return 1 if short else 0


if __name__ == "__main__":
    sys.exit(main())
