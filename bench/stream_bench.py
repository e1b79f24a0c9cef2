#!/usr/bin/env python3
"""hxscramble's throughput on a stream of password-like lines, against `tr 'a-z' 'b-za'` on
the same file in the same run: the ratio says how close the tool comes to a plain byte-for-byte
filter. Both write to /dev/null, so the figures are the tools' own work.

    bench/stream_bench.py build/release/tools/hxscramble [--megabytes 96] [--runs 9]

The file holds lines of 8 to 40 characters from a blank to 'z'; --restore reads the scrambled
form of it, which has the same size. Prints the median time of each command and its ratio
(tr's time divided by the tool's: 1.0 is as fast as tr). Times are CPU seconds of the command.
"""
import argparse
import os
import random
import resource
import statistics
import subprocess
import tempfile


def make_lines(path, size):
    rng = random.Random(1)
    # Every byte mapped onto the 91 characters from a blank to 'z'.
    table = bytes(32 + i % 91 for i in range(256))
    chars = os.urandom(size).translate(table)
    out = bytearray()
    taken = 0
    while len(out) < size:
        n = rng.randint(8, 40)
        out += chars[taken:taken + n] + b"\n"
        taken += n
    with open(path, "wb") as f:
        f.write(out[:size - 1] + b"\n")


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


# CPU time (user and system) rather than elapsed time: on a shared machine it counts the
# command's own work, not the time it waited for a processor. The commands take turns, so that
# a busy spell on the machine falls on all of them alike.
def median_seconds(commands, runs):
    times = [[] for _ in commands]
    for _ in range(runs):
        for k, (command, source) in enumerate(commands):
            with open(source, "rb") as stdin, open(os.devnull, "wb") as stdout:
                start = cpu_seconds()
                subprocess.run(command, stdin=stdin, stdout=stdout, check=True)
                times[k].append(cpu_seconds() - start)
    return [statistics.median(t) for t in times]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("hxscramble")
    parser.add_argument("--megabytes", type=int, default=96)
    parser.add_argument("--runs", type=int, default=9)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        plain = os.path.join(work, "plain.txt")
        scrambled = os.path.join(work, "scrambled.txt")
        make_lines(plain, args.megabytes << 20)
        with open(plain, "rb") as stdin, open(scrambled, "wb") as stdout:
            subprocess.run([args.hxscramble], stdin=stdin, stdout=stdout, check=True)

        tr, scramble, restore = median_seconds([
            (["tr", "a-z", "b-za"], plain),
            ([args.hxscramble], plain),
            ([args.hxscramble, "--restore"], scrambled),
        ], args.runs)

    mib = args.megabytes
    print(f"{'command':26} {'cpu s':>9} {'MiB/s':>7} {'tr/command':>11}")
    for name, seconds in [("tr 'a-z' 'b-za'", tr), ("hxscramble", scramble),
                          ("hxscramble --restore", restore)]:
        print(f"{name:26} {seconds:9.3f} {mib / seconds:7.0f} {tr / seconds:10.2f}x")


if __name__ == "__main__":
    main()
