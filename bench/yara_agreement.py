#!/usr/bin/env python3
"""Differential check of YARA rules: yara 4.2 (the `yara` Debian package) against ferrox64 with the
same rules compiled by `qvxdef compile`, on the same files; optionally timed (the benchmark).

    bench/yara_agreement.py --build build [--rules DIR] [--work /tmp/ferrox-yara]
                            [--real /usr/bin ...] [--limit-mb 150]

Takes the rule files yara accepts of the malware rules of both public sets (yara-rules/malware and
reversinglabs without its certificate rules), compiles them into one definitions set (each file its
own namespace, as `yara ns:file` reads them), and makes a corpus: for every compiled rule, files
that plant its text and hex strings, bare and behind a PE header; plus the real files given with
--real (copied as links, up to --limit-mb). Then runs `yara -r -p 2` and ferrox64 over the corpus
and compares the (file, rule) pairs for the rules that compiled. Prints any difference, the
figures of both runs, and writes them to <work>/agreement.json.
"""
import argparse
import ctypes
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))


def yara_accepts(path):
    return subprocess.run(["yarac", path, os.devnull], capture_output=True).returncode == 0


def rule_files(root):
    out = []
    for base, sub in (("yara-rules", "malware"), ("reversinglabs", "yara")):
        for d, dirs, files in os.walk(os.path.join(root, base, sub)):
            dirs.sort()
            if "certificate" in d.split(os.sep):
                continue
            for f in sorted(files):
                if f.endswith((".yar", ".yara")) and "index" not in f:
                    out.append(os.path.join(d, f))
    return [p for p in out if yara_accepts(p)]


STRING_RE = re.compile(r'^\s*(\$\w*)\s*=\s*("(?:[^"\\]|\\.)*"|\{[^}]*\})\s*([a-z0-9() -]*)$', re.M)


def text_bytes(lit):
    body = lit[1:-1]
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            e = body[i + 1]
            if e == "x":
                out.append(int(body[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"n": b"\n", "t": b"\t", "r": b"\r"}.get(e, e.encode())
            i += 2
            continue
        out += c.encode("latin-1", "replace")
        i += 1
    return bytes(out)


def hex_bytes(body):
    body = re.sub(r"//[^\n]*|/\*.*?\*/", "", body[1:-1], flags=re.S)
    # Jumps at their shortest, alternatives by their first choice, wildcards as zero nibbles.
    body = re.sub(r"\[\s*(\d*)\s*-?\s*\d*\s*\]", lambda m: "00" * int(m.group(1) or 0), body)
    while "(" in body:
        body = re.sub(r"\(([^()|]*)(\|[^()]*)?\)", r"\1", body)
    body = re.sub(r"\s", "", body).replace("?", "0")
    try:
        return bytes.fromhex(body)
    except ValueError:
        return b""


def plant(rule_text, mods_ok=True):
    parts = []
    for m in STRING_RE.finditer(rule_text):
        value, mods = m.group(2), m.group(3)
        b = text_bytes(value) if value.startswith('"') else hex_bytes(value)
        if "wide" in mods and "ascii" not in mods:
            b = b"".join(bytes([c, 0]) for c in b)
        parts.append(b)
    return b" ".join(parts)


def make_corpus(files, work, real, limit_mb):
    corpus = os.path.join(work, "corpus")
    shutil.rmtree(corpus, ignore_errors=True)
    os.makedirs(os.path.join(corpus, "planted"))
    pe = bytearray(b"MZ" + b"\x90" * 0x3A + (0x40).to_bytes(4, "little") + b"PE\0\0" + b"\0" * 20)
    n = 0
    for path in files:
        text = open(path, encoding="latin-1").read()
        for i, rule in enumerate(re.split(r"\n(?=\s*(?:private\s+|global\s+)*rule\s)", text)):
            data = plant(rule)
            if not data:
                continue
            n += 1
            for tag, content in (("bare", data), ("pe", bytes(pe) + data)):
                with open(os.path.join(corpus, "planted", f"{n:05d}-{tag}"), "wb") as f:
                    f.write(content)
    budget = limit_mb << 20
    for root in real:
        for d, dirs, names in os.walk(root):
            dirs.sort()
            for name in sorted(names):
                p = os.path.join(d, name)
                if budget <= 0 or not os.path.isfile(p) or os.path.islink(p):
                    continue
                size = os.path.getsize(p)
                if size == 0 or size > 20 << 20:
                    continue
                dest = os.path.join(corpus, "real", os.path.relpath(p, "/"))
                os.makedirs(os.path.dirname(dest), exist_ok=True)
                shutil.copyfile(p, dest)
                budget -= size
    return corpus


def load_ms(lib_path, defs):
    """Best of 5 definitions loads through the engine's entry points, in milliseconds."""
    lib = ctypes.CDLL(lib_path)
    cb = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_uint64, ctypes.c_int32, ctypes.c_void_p)
    keep = cb(lambda h, e, c: 0)
    lib.qvx_initialize(None)
    best = None
    for _ in range(5):
        handle = ctypes.c_uint64()
        t0 = time.perf_counter()
        r = lib.qvx_create_object(0, 14, (defs + "/").encode(), keep, None, ctypes.byref(handle))
        t = (time.perf_counter() - t0) * 1000
        if r != 0:
            return None
        lib.qvx_close_object(handle)
        best = t if best is None else min(best, t)
    return round(best, 1)


def timed(cmd, env=None):
    t0 = time.time()
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, capture_output=True, text=True,
                       env=env)
    wall = time.time() - t0
    rss_kb = int(r.stderr.strip().splitlines()[-1]) if r.stderr.strip() else 0
    return r, wall, rss_kb


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--rules", default="/work/shared/yara-rulesets")
    ap.add_argument("--work", default="/tmp/ferrox-yara")
    ap.add_argument("--real", nargs="*", default=["/usr/bin", "/usr/lib/x86_64-linux-gnu"])
    ap.add_argument("--limit-mb", type=int, default=150)
    a = ap.parse_args()
    if shutil.which("yara") is None:
        subprocess.run(["apt-get", "install", "-y", "yara"], check=True)
    os.makedirs(a.work, exist_ok=True)
    qvxdef = os.path.join(a.build, "bin", "qvxdef")
    ferrox = os.path.join(a.build, "bin", "ferrox64")
    files = rule_files(a.rules)
    defs = os.path.join(a.work, "defs")
    os.makedirs(defs, exist_ok=True)
    t0 = time.time()
    r = subprocess.run([qvxdef, "compile", "--id=202612101530", "--out-dir=" + defs] + files,
                       capture_output=True, text=True)
    compile_s = time.time() - t0
    if r.returncode != 0:
        sys.exit("qvxdef: " + r.stderr)
    compiled = sum(int(m.group(1)) for m in re.finditer(r": (\d+) rules compiled", r.stdout))
    skipped_names = {l.split(": rule ", 1)[1].split(" skipped", 1)[0]
                     for l in r.stderr.splitlines() if " skipped: " in l}
    corpus = make_corpus(files, a.work, a.real, a.limit_mb)
    args = [f"ns{i}:{p}" for i, p in enumerate(files)]
    t0 = time.time()
    compiled_yara = os.path.join(a.work, "rules.yarc")
    subprocess.run(["yarac"] + args + [compiled_yara], check=True, capture_output=True)
    yara_compile_s = time.time() - t0
    yr, yara_wall, yara_rss = timed(["yara", "-C", "-r", "-p", "2", compiled_yara, corpus])
    fr, ferrox_wall, ferrox_rss = timed([ferrox, "--nomem", "--nombr", "--noboot",
                                         "--deflocation=" + defs + "/", corpus])
    yara_pairs = set()
    for line in yr.stdout.splitlines():
        name, _, path = line.partition(" ")
        if name not in skipped_names:
            yara_pairs.add((os.path.relpath(path, corpus), name))
    ferrox_pairs = set()
    for line in fr.stdout.splitlines():
        m = re.match(r"Found:\s+(\S.*?)\s+\S+ detection of .* named (\S+)$", line)
        if m:
            ferrox_pairs.add((os.path.relpath(m.group(1), corpus), m.group(2)))
    only_yara = sorted(yara_pairs - ferrox_pairs)
    only_ferrox = sorted(ferrox_pairs - yara_pairs)
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(corpus) for f in fs)
    result = {
        "rule_files": len(files), "rules_compiled": compiled, "corpus_files":
        sum(len(fs) for _, _, fs in os.walk(corpus)), "corpus_mb": round(size / 2**20, 1),
        "pairs_yara": len(yara_pairs), "pairs_ferrox": len(ferrox_pairs),
        "only_yara": only_yara[:50], "only_ferrox": only_ferrox[:50],
        "qvxdef_compile_s": round(compile_s, 2), "yarac_compile_s": round(yara_compile_s, 2),
        "defs_bytes": os.path.getsize(os.path.join(defs, "sigbase-v2.def")),
        "yarac_bytes": os.path.getsize(compiled_yara),
        "defs_load_ms": load_ms(os.path.join(a.build, "bin", "libqorvex000.so"), defs),
        "yara_wall_s": round(yara_wall, 2), "yara_peak_mb": round(yara_rss / 1024, 1),
        "ferrox_wall_s": round(ferrox_wall, 2), "ferrox_peak_mb": round(ferrox_rss / 1024, 1),
        "yara_errors": yr.stderr.strip().splitlines()[:-1][:10],
    }
    print(json.dumps(result, indent=1))
    with open(os.path.join(a.work, "agreement.json"), "w") as f:
        json.dump(result, f, indent=1)
    return 0 if not only_yara and not only_ferrox else 1


if __name__ == "__main__":
    sys.exit(main())
