#!/usr/bin/env python3
"""Times corvid-publish on the largest release the client accepts: a first publish of
7500 files, then a republish after one of them changed. It prints the figures and
asserts nothing; tools/bench --publish builds the tool and calls this.

The release is mostly small files with every fiftieth one of 256 KiB, in 75 folders,
half of each file random bytes; it is made once and kept in the work folder.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

parser = argparse.ArgumentParser()
parser.add_argument("--publish", required=True, help="the corvid-publish program")
parser.add_argument("--work", required=True, help="a folder for the release and the trees")
parser.add_argument("--files", type=int, default=7500)
options = parser.parse_args()

release = os.path.join(options.work, "release-%d" % options.files)
site = os.path.join(options.work, "site")


def write(name, index, size):
    path = os.path.join(release, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(random.Random(index).randbytes(size // 2) + bytes([ord("a") + index % 26]) * (size - size // 2))


if not os.path.isdir(release):
    print("== writing the release", file=sys.stderr)
    for i in range(options.files):
        write("dir%d/file%d.dat" % (i % 75, i), i, 256 * 1024 if i % 50 == 0 else 512 + (i * 37) % 4096)
# The file the republish changes starts as it was made.
write("dir3/file3.dat", 3, 512 + 3 * 37)
shutil.rmtree(site, ignore_errors=True)
for leftover in (site + ".previous", site + ".staging"):
    shutil.rmtree(leftover, ignore_errors=True)


def timed(expected):
    start = time.monotonic()
    run = subprocess.run([options.publish, "build", "--release", release, "--out", site, "--utc-offset", "0"],
                         capture_output=True, text=True)
    seconds = time.monotonic() - start
    if run.returncode != 0 or expected not in run.stdout:
        sys.exit("corvid-publish did not publish as expected:\n" + run.stdout + run.stderr)
    return seconds


first = timed("product: %d compressed, 0 reused, 0 removed" % options.files)
write("dir3/file3.dat", 10**6, 1000)
again = timed("product: 1 compressed, %d reused, 0 removed" % (options.files - 1))
print("corvid-publish, %d files, %d cores" % (options.files, os.cpu_count()))
print("  first publish                    %8.2f s" % first)
print("  republish, one file changed      %8.2f s" % again)
