#!/usr/bin/env python3
"""Writes the benchmark's release: the same files for the same arguments, every time.

  make_release.py DIR FILES TOTAL_MIB [LARGEST_MIB]

Most files are small, a few hundred are up to 2 MiB, twenty are several MiB; every
other file is text that deflates well, the rest random bytes that do not. Every
file gets a fixed modification time, so that a publish of it is always the same.
LARGEST_MIB adds data/large/large.dat of that size, its first half text and its
second half random bytes: the file that shows whether installing needs memory in
proportion to a file's size.
"""
import os
import random
import sys

SEED = 20261209
FIRST_TIME = 1767225600  # 2026-01-01 00:00:00 UTC


def sizes(count, total):
    """Sizes of `count` files summing to about `total` bytes: 45 % of it in (at most)
    twenty large files, 45 % in the medium ones, 10 % in the many small ones."""
    rng = random.Random(SEED)
    large = min(20, max(1, count // 375))
    medium = min(480, max(1, count * 480 // 7500))
    small = count - large - medium
    result = []
    for _ in range(small):
        result.append(rng.randint(0, 2 * int(total * 0.10 / small)))
    for _ in range(medium):
        result.append(rng.randint(64 * 1024, max(64 * 1024, 2 * int(total * 0.45 / medium) - 64 * 1024)))
    for i in range(large):
        # Spread evenly around the mean, so the largest file is known in advance.
        mean = total * 0.45 / large
        result.append(int(mean * (0.5 + i / max(1, large - 1))))
    rng.shuffle(result)
    return result


def text_pool(rng):
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(2000)]
    lines = []
    length = 0
    while length < 4 * 1024 * 1024:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + "\n"
        lines.append(line)
        length += len(line)
    return "".join(lines).encode()


def write_large(folder, mib, rng, pool):
    path = os.path.join(folder, "data", "large", "large.dat")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    size = mib * 1024 * 1024
    with open(path, "wb") as file:
        written = 0
        while written < size // 2:
            start = rng.randrange(0, len(pool) - 65536)
            part = pool[start:start + min(65536, size // 2 - written)]
            file.write(part)
            written += len(part)
        while written < size:
            part = rng.randbytes(min(1024 * 1024, size - written))
            file.write(part)
            written += len(part)
    os.utime(path, (FIRST_TIME - 60, FIRST_TIME - 60))


def main():
    folder, count, total_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    largest_mib = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    rng = random.Random(SEED + 1)
    pool = text_pool(rng)
    if largest_mib > 0:
        write_large(folder, largest_mib, rng, pool)
    for index, size in enumerate(sizes(count, total_mib * 1024 * 1024)):
        directory = os.path.join(folder, "data", "d%02d" % (index % 50), "s%d" % (index % 3))
        os.makedirs(directory, exist_ok=True)
        path = os.path.join(directory, "f%04d.dat" % index)
        if index % 2 == 0:
            data = bytearray()
            while len(data) < size:
                start = rng.randrange(0, len(pool) - 65536)
                data += pool[start:start + min(65536, size - len(data))]
            data = bytes(data)
        else:
            data = rng.randbytes(size)
        with open(path, "wb") as file:
            file.write(data)
        os.utime(path, (FIRST_TIME + index * 60, FIRST_TIME + index * 60))


if __name__ == "__main__":
    main()
