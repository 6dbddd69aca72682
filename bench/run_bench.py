#!/usr/bin/env python3
"""The engine benchmark: a deterministic corpus, a large definitions set, and in one go on the
same machine: ferrox64 over the corpus, yara -r -p 2 with the same patterns and hashes, a plain
read pass with 2 threads, and the engine alone through bench/engine_scan.c.

    bench/run_bench.py [--build build] [--work /tmp/ferrox-bench] [--scale 1.0] [--no-yara]

The corpus and the definitions are made once per --work folder and scale (a stamp file records
them) and reused. yara is a Debian package that the benchmark installs with apt-get when it is
missing; nothing in the build needs it. Results go to standard output and to WORK/results.json.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import threading
import time
import zipfile

SEED = 20261210
PATTERNS = 5000
HASHES = 50000
PLANTED_FILES = 100       # files outside archives holding one pattern each
PLANTED_MEMBERS = 20      # archive members holding one pattern each
HASHED_FILES = 50         # files outside archives known by their SHA-256
HASHED_MEMBERS = 10       # archive members known by their SHA-256
ZIPS = 200
DEFS_ID = "202612101200"


def log(*a):
    print(*a, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- corpus and definitions

class corpus_maker:
    def __init__(self, root, scale):
        self.root = root
        self.scale = scale
        self.rng = random.Random(SEED)
        self.base = self.rng.randbytes(64 << 20)
        words = [self.rng.randbytes(self.rng.randint(2, 9)).hex() for _ in range(4000)]
        self.text = " ".join(self.rng.choice(words) for _ in range(800000)).encode()
        self.bytes = 0

    def content(self, size, textual=False):
        src = self.text if textual else self.base
        at = self.rng.randrange(len(src) - size) if size < len(src) else 0
        head = self.rng.getrandbits(64).to_bytes(8, "little")  # makes every file unique
        return (head + src[at:at + size])[:size]

    def folder(self):
        parts = [f"d{self.rng.randrange(20):02d}"]
        for _ in range(self.rng.randrange(4)):
            parts.append(f"{chr(97 + self.rng.randrange(10))}{self.rng.randrange(8)}")
        return os.path.join(*parts)

    def sizes(self):
        def loguniform(lo, hi):
            return int(lo * (hi / lo) ** self.rng.random())
        n = lambda count: max(1, int(count * self.scale))
        out = [loguniform(200, 16 << 10) for _ in range(n(17000))]
        out += [loguniform(16 << 10, 1 << 20) for _ in range(n(2600))]
        out += [loguniform(1 << 20, 20 << 20) for _ in range(n(100))]
        self.rng.shuffle(out)
        return out


def pattern_bytes(rng):
    """A random pattern: its source body, its YARA hex string, its length and one concrete form."""
    length = rng.randint(10, 24)
    fixed = [rng.randrange(256) for _ in range(length)]
    src, yara, concrete = [], [], []
    wild = rng.randrange(2, length - 2) if rng.random() < 0.3 else -1
    nibble = rng.randrange(2, length - 2) if rng.random() < 0.3 else -1
    for i, b in enumerate(fixed):
        if i == wild:
            src.append("??"); yara.append("??"); concrete.append(rng.randrange(256))
        elif i == nibble:
            src.append(f"{b >> 4:x}?"); yara.append(f"{b >> 4:X}?")
            concrete.append((b & 0xF0) | rng.randrange(16))
        else:
            src.append(f"{b:02x}"); yara.append(f"{b:02X}"); concrete.append(b)
    return " ".join(src), " ".join(yara), length, bytes(concrete)


def make_patterns(rng):
    pats = []
    for i in range(PATTERNS):
        body, yara_hex, length, concrete = pattern_bytes(rng)
        r = rng.random()
        anchor = ("at", rng.randrange(0, 512)) if r < 0.10 else ("end", rng.randrange(0, 64)) if r < 0.15 else None
        pats.append({"name": f"Bench-P{i:04d}", "rule": f"P{i:04d}", "body": body, "yara": yara_hex,
                     "length": length, "concrete": concrete, "anchor": anchor})
    return pats


def plant(data, pat, rng):
    """Puts the pattern's concrete bytes where its anchor says; the data must be long enough."""
    data = bytearray(data)
    n = pat["length"]
    if pat["anchor"] and pat["anchor"][0] == "at":
        at = pat["anchor"][1]
    elif pat["anchor"]:
        at = len(data) - pat["anchor"][1] - n
    else:
        at = rng.randrange(0, len(data) - n)
    data[at:at + n] = pat["concrete"]
    return bytes(data)


def make_corpus(work, scale):
    root = os.path.join(work, "corpus")
    shutil.rmtree(root, ignore_errors=True)
    m = corpus_maker(root, scale)
    rng = m.rng
    pats = make_patterns(rng)
    sizes = m.sizes()
    plant_files = set(rng.sample([i for i, s in enumerate(sizes) if s >= 1024], PLANTED_FILES))
    hash_files = set(rng.sample([i for i in range(len(sizes)) if i not in plant_files], HASHED_FILES))
    planted = {}   # path relative to the corpus -> expected name, outside archives
    inside = {}    # zip path -> expected names of members
    hashes = []    # (sha256 hex, size, name)
    next_pat = 0
    for i, size in enumerate(sizes):
        rel = os.path.join(m.folder(), f"f{i:05d}.{rng.choice(['bin', 'txt', 'dat', 'exe', 'doc'])}")
        data = m.content(size, textual=rng.random() < 0.3)
        if i in plant_files:
            pat = pats[next_pat]; next_pat += 1
            data = plant(data, pat, rng)
            planted[rel] = pat["name"]
        if i in hash_files:
            name = f"Bench-H{len(hashes):05d}"
            hashes.append((hashlib.sha256(data).hexdigest(), len(data), name))
            planted[rel] = name
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        m.bytes += len(data)
    zip_count = max(1, int(ZIPS * scale))
    member_plants = set(rng.sample(range(zip_count * 3), min(zip_count * 3, PLANTED_MEMBERS + HASHED_MEMBERS)))
    slot = 0
    for z in range(zip_count):
        rel = os.path.join(m.folder(), f"z{z:03d}.zip")
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        method = zipfile.ZIP_DEFLATED if z % 2 else zipfile.ZIP_STORED
        with zipfile.ZipFile(path, "w", compression=method) as zf:
            for k in range(rng.randint(3, 30)):
                data = m.content(int(200 * (1300 ** rng.random())), textual=bool(k % 2))
                if k < 3 and slot in member_plants:
                    if len(hashes) < HASHED_FILES + HASHED_MEMBERS and slot % 3 == 0:
                        name = f"Bench-H{len(hashes):05d}"
                        hashes.append((hashlib.sha256(data).hexdigest(), len(data), name))
                    elif len(data) >= 1024:
                        pat = pats[next_pat]; next_pat += 1
                        data = plant(data, pat, rng)
                        name = pat["name"]
                    else:
                        name = None
                    if name:
                        inside.setdefault(rel, []).append(name)
                if k < 3:
                    slot += 1
                info = zipfile.ZipInfo(f"m{k:02d}/member{k}.bin", date_time=(2026, 12, 10, 12, 0, 0))
                info.compress_type = method
                zf.writestr(info, data)
        m.bytes += os.path.getsize(path)
    while len(hashes) < HASHES:  # values of files that are not in the corpus
        hashes.append((rng.randbytes(32).hex(), rng.randint(200, 20 << 20), f"Bench-H{len(hashes):05d}"))
    return {"root": root, "files": len(sizes) + zip_count, "bytes": m.bytes, "patterns": pats,
            "hashes": hashes, "planted": planted, "inside": inside}


def write_definitions(work, c):
    src = os.path.join(work, "bench.src")
    with open(src, "w") as f:
        f.write(f"id {DEFS_ID}\n")
        for p in c["patterns"]:
            anchor = f" {p['anchor'][0]}={p['anchor'][1]}" if p["anchor"] else ""
            f.write(f"pattern {p['name']} kind=24{anchor} : {p['body']}\n")
        for sha, size, name in c["hashes"]:
            f.write(f"hash {name} kind=24 : {sha} {size}\n")
    rules = os.path.join(work, "bench.yar")
    with open(rules, "w") as f:
        f.write('import "hash"\n')
        for p in c["patterns"]:
            cond = "$a"
            if p["anchor"] and p["anchor"][0] == "at":
                cond = f"$a at {p['anchor'][1]}"
            elif p["anchor"]:
                cond = f"$a at (filesize - {p['anchor'][1] + p['length']})"
            f.write(f"rule {p['rule']} {{ strings: $a = {{ {p['yara']} }} condition: {cond} }}\n")
        for sha, size, name in c["hashes"]:
            f.write(f'rule {name.replace("Bench-", "")} {{ condition: filesize == {size} and '
                    f'hash.sha256(0, filesize) == "{sha}" }}\n')
    return src, rules


# ---------------------------------------------------------------- runs

def run(cmd, env=None):
    """Runs a command; returns (wall seconds, peak resident KiB, stdout text, exit code).

    The peak comes from GNU time: a child forked from this (large) Python process would count
    Python's own pages in its peak until it execs."""
    peak_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"bench-peak-{os.getpid()}")
    start = time.monotonic()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd, stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, env=env)
    wall = time.monotonic() - start
    with open(peak_file) as f:
        peak = int(f.read().strip().splitlines()[-1])
    os.unlink(peak_file)
    return wall, peak, p.stdout.decode(errors="replace"), p.returncode


def read_pass(root, threads=2):
    paths = [os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs]
    start = time.monotonic()
    def worker(part):
        buf = bytearray(256 << 10)
        for path in part:
            fd = os.open(path, os.O_RDONLY)
            while os.readv(fd, [buf]) > 0:
                pass
            os.close(fd)
    ts = [threading.Thread(target=worker, args=(paths[i::threads],)) for i in range(threads)]
    for t in ts: t.start()
    for t in ts: t.join()
    return time.monotonic() - start


def ensure_yara():
    if shutil.which("yara"):
        return True
    log("installing the yara package for the comparison")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "install", "-y", "-qq", "yara"], env=env, check=False)
    return shutil.which("yara") is not None


def recall(found_paths, c):
    outside = sum(1 for rel in c["planted"] if rel in found_paths)
    zips = sum(1 for rel in c["inside"] if rel in found_paths)
    return outside, zips


def ferrox_found(text, root):
    found = set()
    for line in text.splitlines():
        if line.startswith("Found:  "):
            path = line[len("Found:  "):].split("     ")[0]
            rel = os.path.relpath(path, root)
            found.add(rel)
            # A member of an archive is reported under the archive's path.
            for z in (".zip/", ".zip:", ".zip>", ".zip|"):
                if z in rel:
                    found.add(rel[:rel.index(z) + 4])
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--work", default="/tmp/ferrox-bench")
    ap.add_argument("--scale", type=float, default=1.0)
    ap.add_argument("--no-yara", action="store_true")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    bin_dir = os.path.join(build, "bin")
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    os.makedirs(a.work, exist_ok=True)
    stamp = os.path.join(a.work, "corpus.json")
    if os.path.exists(stamp) and json.load(open(stamp)).get("scale") == a.scale:
        c = json.load(open(stamp))["corpus"]
        for p in c["patterns"]:
            p["concrete"] = bytes.fromhex(p["concrete"])
        log("reusing the corpus in", c["root"])
    else:
        log("making the corpus (once)")
        c = make_corpus(a.work, a.scale)
        saved = dict(c, patterns=[dict(p, concrete=p["concrete"].hex()) for p in c["patterns"]])
        json.dump({"scale": a.scale, "corpus": saved}, open(stamp, "w"))
    src, rules = write_definitions(a.work, c)
    defs = os.path.join(a.work, "defs")
    os.makedirs(defs, exist_ok=True)
    t0 = time.monotonic()
    subprocess.run([os.path.join(bin_dir, "qvxdef"), "compile", f"--out-dir={defs}", src], check=True)
    compile_s = time.monotonic() - t0
    helper = os.path.join(a.work, "engine_scan")
    subprocess.run(["cc", "-O2", "-o", helper, os.path.join(repo, "bench", "engine_scan.c"),
                    "-I", os.path.join(repo, "qorvex", "include"), "-L", bin_dir, "-l:libqorvex000.so",
                    f"-Wl,-rpath,{bin_dir}"], check=True)
    empty = os.path.join(a.work, "empty")
    os.makedirs(empty, exist_ok=True)
    root = c["root"]
    mb = c["bytes"] / 1e6
    results = {"corpus": {"files": c["files"], "bytes": c["bytes"], "patterns": PATTERNS,
                          "hashes": HASHES, "planted_outside": len(c["planted"]),
                          "planted_in_zips": len(c["inside"])},
               "qvxdef_compile_s": round(compile_s, 2)}
    rows = []

    read_pass(root)  # warms the page cache, so every run below reads from memory alike
    wall = read_pass(root)
    rows.append(("read pass, 2 threads", wall, None, None, None))

    # The engine alone: definitions load time, and memory with 2 objects (one thread's worth
    # plus the main one) against 9 (eight threads).
    loads = []
    for _ in range(5):
        _, _, out, _ = run([helper, defs, empty])
        loads.append(float(out.split("load_ms=")[1].split()[0]))
    results["definitions_load_ms"] = min(loads)
    eng = {}
    for n in (2, 9):
        wall, rss, out, _ = run([helper, defs, root, str(n)])
        eng[n] = rss
        if n == 2:
            found = {os.path.relpath(l[7:], root) for l in out.splitlines() if l.startswith("Found: ")}
            rows.append(("engine alone (engine_scan)", wall, rss, recall(found, c), None))
    results["engine_rss_kib_2_objects"], results["engine_rss_kib_9_objects"] = eng[2], eng[9]

    ferrox = os.path.join(bin_dir, "ferrox64")
    base_cmd = [ferrox, "--nomem", "--nombr", "--noboot", f"--deflocation={defs}/"]
    if os.path.exists(ferrox):
        wall0, _, _, _ = run(base_cmd + [empty])
        results["ferrox64_empty_run_s"] = round(wall0, 3)
        wall, rss, out, code = run(base_cmd + [root])
        rows.append(("ferrox64", wall, rss, recall(ferrox_found(out, root), c), code))
        results["ferrox64_wall_s"] = wall
        mem = {}
        for n in ("1", "8"):
            _, mem[n], _, _ = run(base_cmd + [root], env=dict(os.environ, OMP_NUM_THREADS=n))
        results["ferrox64_rss_kib_omp1"], results["ferrox64_rss_kib_omp8"] = mem["1"], mem["8"]
        results["ferrox64_rss_growth_omp8_over_omp1"] = round(mem["8"] / mem["1"] - 1, 4)
    else:
        log("no ferrox64 in", bin_dir, "- its rows are left out")

    if not a.no_yara and ensure_yara():
        wall0, rss0, _, _ = run(["yara", "-p", "2", "-r", rules, empty])
        results["yara_empty_run_s"] = round(wall0, 3)
        wall, rss, out, code = run(["yara", "-r", "-p", "2", rules, root])
        found = {os.path.relpath(l.split(" ", 1)[1], root) for l in out.splitlines() if " " in l}
        rows.append(("yara -r -p 2", wall, rss, recall(found, c), code))
        results["yara_wall_s"] = wall

    print(f"corpus: {c['files']} files, {mb:.0f} MB; {PATTERNS} patterns, {HASHES} hashes; "
          f"planted: {len(c['planted'])} outside archives, {len(c['inside'])} zips with planted members")
    print(f"qvxdef compile: {compile_s:.2f} s; definitions load (engine, best of 5): "
          f"{results['definitions_load_ms']:.1f} ms")
    print(f"{'run':30} {'wall s':>8} {'MB/s':>8} {'files/s':>9} {'peak MiB':>9} {'recall out':>11} {'zips':>6}")
    for name, wall, rss, rec, code in rows:
        rec_out = f"{rec[0]}/{len(c['planted'])}" if rec else "-"
        rec_zip = f"{rec[1]}/{len(c['inside'])}" if rec else "-"
        peak = f"{rss / 1024:.1f}" if rss else "-"
        print(f"{name:30} {wall:8.2f} {mb / wall:8.0f} {c['files'] / wall:9.0f} {peak:>9} "
              f"{rec_out:>11} {rec_zip:>6}")
        results.setdefault("runs", []).append({"name": name, "wall_s": round(wall, 3),
                                                "mb_per_s": round(mb / wall), "peak_rss_kib": rss,
                                                "recall": rec, "exit": code})
    if "ferrox64_wall_s" in results and "yara_wall_s" in results:
        r = results["ferrox64_wall_s"] / results["yara_wall_s"]
        results["ferrox64_over_yara"] = round(r, 3)
        print(f"ferrox64 / yara wall time: {r:.3f} (goal: at most 0.25)")
    if "ferrox64_rss_kib_omp1" in results:
        print(f"ferrox64 peak memory OMP_NUM_THREADS=1: {results['ferrox64_rss_kib_omp1'] / 1024:.1f} MiB, "
              f"=8: {results['ferrox64_rss_kib_omp8'] / 1024:.1f} MiB "
              f"(growth {100 * results['ferrox64_rss_growth_omp8_over_omp1']:.1f}%, goal under 10%)")
    print(f"engine alone peak memory, 2 objects: {eng[2] / 1024:.1f} MiB, 9 objects: {eng[9] / 1024:.1f} MiB")
    json.dump(results, open(os.path.join(a.work, "results.json"), "w"), indent=1)


if __name__ == "__main__":
    main()
