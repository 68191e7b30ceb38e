#!/usr/bin/python3
"""Runs one command and prints its wall-clock time and peak memory.

Usage: timed.py COMMAND [ARG...]

Prints "SECONDS MAXRSS_KIB CPU_SECONDS" on standard output (CPU time is user plus system
time of the command and its children); the command's own standard output is
discarded and its standard error is passed through. Exits with the command's status.
The peak is the largest resident set of the command or any process it waited for, as the
kernel reports it for the children of this process.
"""
import resource
import subprocess
import sys
import time


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: timed.py COMMAND [ARG...]")
    start = time.perf_counter()
    status = subprocess.call(sys.argv[1:], stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    print(f"{seconds:.3f} {usage.ru_maxrss} {usage.ru_utime + usage.ru_stime:.3f}")
    sys.exit(status)


if __name__ == "__main__":
    main()
