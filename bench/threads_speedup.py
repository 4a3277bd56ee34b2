#!/usr/bin/env python3
"""How much faster mpegdec decodes one file on N threads than on one.

    bench/threads_speedup.py [--runs R] [--threads N] [--mpegdec PATH] FILE...

Runs `mpegdec -q -T 1` and `mpegdec -q -T N` (default 2) in turn, R times each (default 40)
after three warm-up pairs, decoding to 32-bit floats written to /dev/null, and prints the
median wall times and the median of the pairs' ratios. Taking the two one after the other,
pair by pair, keeps a slow drift of a shared or virtual machine out of the ratio, which a run
of all one-thread decodes followed by all N-thread decodes would take in. Checks first that
both give the same bytes.
"""
import argparse
import hashlib
import statistics
import subprocess
import sys
import time


def decode(mpegdec, path, threads, output="/dev/null"):
    command = [mpegdec, "-q", "-T", str(threads), "--raw", "--format", "f32", "-o", output, path]
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.PIPE if output == "-" else subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"threads_speedup: {' '.join(command)} failed ({result.returncode})")
    return elapsed, result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--mpegdec", default="build/release/tools/mpegdec/mpegdec")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    print(f"| file | -T 1 | -T {args.threads} | speedup (median of {args.runs} pairs) |")
    print("|---|---:|---:|---:|")
    for path in args.files:
        one = hashlib.sha256(decode(args.mpegdec, path, 1, "-")[1]).hexdigest()
        many = hashlib.sha256(decode(args.mpegdec, path, args.threads, "-")[1]).hexdigest()
        if one != many:
            sys.exit(f"threads_speedup: {path}: -T {args.threads} output differs from -T 1")
        for _ in range(3):
            decode(args.mpegdec, path, 1)
            decode(args.mpegdec, path, args.threads)
        singles, multis, ratios = [], [], []
        for _ in range(args.runs):
            single = decode(args.mpegdec, path, 1)[0]
            multi = decode(args.mpegdec, path, args.threads)[0]
            singles.append(single)
            multis.append(multi)
            ratios.append(single / multi)
        print(f"| {path.rsplit('/', 1)[-1]} | {statistics.median(singles) * 1000:.1f} ms | "
              f"{statistics.median(multis) * 1000:.1f} ms | {statistics.median(ratios):.2f}× |")


if __name__ == "__main__":
    main()
