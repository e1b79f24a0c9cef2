#!/usr/bin/env python3
"""Ratios from one cipher_bench run: Decrypt against the straightforward baseline and against
Encrypt, per cipher and text length (24 bytes, a password; 1 KiB; 64 KiB). Decrypt/Encrypt
should stay at 1.25x or below at every length. Timings from different runs are not comparable.

    cipher_bench --benchmark_repetitions=5 --benchmark_format=json | bench/ratios.py
"""
import json
import sys

times = {}  # "Decrypt<Simple>/1024": CPU time; with --benchmark_repetitions, the median
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("aggregate_name", "median") == "median":
        times[b["run_name"]] = b["cpu_time"]

print(f"{'cipher':8} {'bytes':>6} {'baseline/Decrypt':>17} {'Decrypt/Encrypt':>16}")
for name, t in times.items():
    op, rest = name.split("<", 1)
    if op != "Decrypt":
        continue
    cipher, size = rest.split(">/")
    base = times[f"Baseline<{cipher}>/{size}"]
    enc = times[f"Encrypt<{cipher}>/{size}"]
    print(f"{cipher:8} {size:>6} {base / t:16.1f}x {t / enc:15.2f}x")
