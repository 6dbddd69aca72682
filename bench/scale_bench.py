#!/usr/bin/env python3
"""The signature-scale benchmark: 5,000,000 hashes (3M SHA-256, 1M SHA-1, 1M MD5, with sizes)
and 150,000 byte patterns shaped like those of real feeds, compiled by qvxdef and loaded by
ferrox64, next to clamscan with the same signatures as a ClamAV database.

    bench/scale_bench.py [--build build] [--work /tmp/ferrox-scale] [--scale 1.0]
                         [--no-patterns] [--no-clamscan]

The hashes are written once as ClamAV .hsb/.hdb files, which qvxdef reads as they are; the
patterns as a definitions source for qvxdef and as an .ndb file for clamscan. A corpus of about
2,000 files (200 MB) holds planted files known by each hash kind and files holding patterns.

Figures: compile wall time and peak memory (qvxdef pinned to 2 cores), load time (`ferrox64 -v`
with these definitions over the same with the shipped ones, best of 5), scan wall time and peak
memory over the corpus (with these and with the shipped definitions), and the same for clamscan
(load: a scan of one empty file). Results go to standard output and WORK/results.json.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import time

SEED = 20261210
DEFS_ID = "202612101200"


def log(*a):
    print(*a, file=sys.stderr, flush=True)


def run(cmd):
    """(wall seconds, peak resident KiB, exit code) of a command, the peak from GNU time."""
    peak_file = f"/tmp/scale-peak-{os.getpid()}"
    start = time.monotonic()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    wall = time.monotonic() - start
    with open(peak_file) as f:
        peak = int(f.read().strip().splitlines()[-1])
    os.unlink(peak_file)
    if p.returncode not in (0, 1, 5):  # ferrox64 answers 5 when it found something
        log("failed:", " ".join(cmd), p.stderr.decode(errors="replace")[-2000:])
    return wall, peak, p.returncode


def pattern_length(rng):
    # Quantiles of real feeds: median 21 bytes, 90th percentile 77, 99th 447, at most 2 KiB.
    u = rng.random()
    if u < 0.5:
        return rng.randint(8, 21)
    if u < 0.9:
        return rng.randint(22, 77)
    if u < 0.99:
        return rng.randint(78, 447)
    return rng.randint(448, 2048)


def make_pattern(rng):
    """(hex body shared by both formats, the fixed bytes to plant or None, anchored at 0)."""
    data = rng.randbytes(pattern_length(rng))
    tokens = [f"{b:02x}" for b in data]
    kind = rng.random()
    plantable = data
    if kind < 0.08 and len(tokens) > 6:
        for _ in range(rng.randint(1, 3)):
            tokens[rng.randrange(2, len(tokens) - 2)] = "??"
    elif kind < 0.11 and len(tokens) > 6:
        at = rng.randrange(3, len(tokens) - 2)
        n = rng.randint(1, 16)
        tokens.insert(at, "{%d}" % n)
        plantable = data[:at] + bytes(n) + data[at:]
    anchored = rng.random() < 0.02
    return "".join(tokens), plantable, anchored


def make_set(work, scale):
    rng = random.Random(SEED)
    db = os.path.join(work, "db")
    corpus = os.path.join(work, "corpus")
    stamp = os.path.join(work, f"made-{scale}")
    if os.path.exists(stamp):
        return db, corpus
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(db)
    os.makedirs(corpus)
    files = int(2000 * scale)
    planted = []
    total = 0
    for i in range(files):
        size = rng.randint(1000, 200000)
        data = rng.randbytes(size)
        path = os.path.join(corpus, f"d{i % 20:02d}", f"f{i:05d}.bin")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        planted.append([path, data])
        total += size
    counts = {"sha256": int(3_000_000 * scale), "sha1": int(1_000_000 * scale),
              "md5": int(1_000_000 * scale)}
    known = {k: [] for k in counts}
    for i, (path, data) in enumerate(planted[:90]):
        kind = ("sha256", "sha1", "md5")[i % 3]
        known[kind].append((hashlib.new(kind, data).hexdigest(), len(data), f"Bench.Known.{i}"))
    for kind, n in counts.items():
        ext = ".hdb" if kind == "md5" else ".hsb"
        length = {"sha256": 32, "sha1": 20, "md5": 16}[kind]
        with open(os.path.join(db, f"bench-{kind}{ext}"), "w") as f:
            for h, size, name in known[kind]:
                f.write(f"{h}:{size}:{name}\n")
            for i in range(n - len(known[kind])):
                f.write(f"{rng.randbytes(length).hex()}:{rng.randint(100, 10_000_000)}:"
                        f"Bench.{kind}.{i}\n")
    patterns = int(150_000 * scale)
    with open(os.path.join(db, "bench.ndb"), "w") as ndb, \
            open(os.path.join(work, "patterns.src"), "w") as src:
        src.write(f"id {DEFS_ID}\n")
        for i in range(patterns):
            body, plant, anchored = make_pattern(rng)
            name = f"Bench.Pattern.{i}"
            ndb.write(f"{name}:0:{'0' if anchored else '*'}:{body}\n")
            src.write(f"pattern {name} kind=1 {'at=0 ' if anchored else ''}: {body}\n")
            if 90 + i < len(planted) and i < 90:
                path, data = planted[90 + i]
                at = 0 if anchored else rng.randrange(len(data) - len(plant))
                planted[90 + i][1] = data[:at] + plant + data[at + len(plant):]
    for path, data in planted:
        with open(path, "wb") as f:
            f.write(data)
    with open(stamp, "w") as f:
        f.write(f"{files} files, {total} bytes\n")
    return db, corpus


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--work", default="/tmp/ferrox-scale")
    ap.add_argument("--scale", type=float, default=1.0)
    ap.add_argument("--no-patterns", action="store_true")
    ap.add_argument("--no-clamscan", action="store_true")
    a = ap.parse_args()
    bin_dir = os.path.join(os.path.abspath(a.build), "bin")
    log("making the set and corpus (once per work folder)")
    db, corpus = make_set(a.work, a.scale)
    out = os.path.join(a.work, "defs")
    os.makedirs(out, exist_ok=True)
    results = {"scale": a.scale}
    sources = [os.path.join(db, f) for f in sorted(os.listdir(db)) if not f.endswith(".ndb")]
    if not a.no_patterns:
        sources.append(os.path.join(a.work, "patterns.src"))
    log("compiling")
    wall, peak, code = run(["taskset", "-c", "0,1", os.path.join(bin_dir, "qvxdef"), "compile",
                            f"--id={DEFS_ID}", f"--out-dir={out}"] + sources)
    results.update(compile_s=round(wall, 2), compile_peak_mib=round(peak / 1024, 1),
                   compile_exit=code)
    results["signatures_file_mib"] = round(os.path.getsize(os.path.join(out, "sigbase-v2.def"))
                                           / 2**20, 1)
    ferrox = os.path.join(bin_dir, "ferrox64")

    def best_load(defs_dir):
        best = 1e9
        for _ in range(5):
            start = time.monotonic()
            subprocess.run([ferrox, "-v", f"--deflocation={defs_dir}/"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            best = min(best, time.monotonic() - start)
        return best

    shipped = best_load(bin_dir)
    big = best_load(out)
    results.update(load_shipped_ms=round(shipped * 1000, 1), load_scale_ms=round(big * 1000, 1),
                   load_extra_ms=round((big - shipped) * 1000, 1))
    scan = [ferrox, "--nomem", "--nombr", "--noboot"]
    subprocess.run(["cat"] + [os.path.join(d, f) for d, _, fs in os.walk(corpus) for f in fs],
                   stdout=subprocess.DEVNULL)  # warm the page cache
    w0, p0, _ = run(scan + [f"--deflocation={bin_dir}/", corpus])
    w1, p1, c1 = run(scan + [f"--deflocation={out}/", corpus])
    results.update(scan_shipped_s=round(w0, 2), scan_shipped_peak_mib=round(p0 / 1024, 1),
                   scan_scale_s=round(w1, 2), scan_scale_peak_mib=round(p1 / 1024, 1),
                   scan_ratio=round(w1 / w0, 2), scan_exit=c1)
    if not a.no_clamscan and shutil.which("clamscan"):
        empty = os.path.join(a.work, "empty")
        open(empty, "w").close()
        lw, lp, _ = run(["clamscan", "--no-summary", "-d", db, empty])
        sw, sp, _ = run(["clamscan", "--no-summary", "-r", "-d", db, corpus])
        results.update(clamscan_load_s=round(lw, 2), clamscan_load_peak_mib=round(lp / 1024, 1),
                       clamscan_scan_s=round(sw, 2), clamscan_scan_peak_mib=round(sp / 1024, 1))
    with open(os.path.join(a.work, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    for k, v in results.items():
        print(f"{k}: {v}")


if __name__ == "__main__":
    main()
