#!/usr/bin/env python3
"""Coverage of public YARA rule sets: the share of rules `qvxdef compile` compiles, per set and
per folder, over the rule files that yara itself accepts (files yara refuses are left out).

    bench/yara_coverage.py --build build [--rules /work/shared/yara-rulesets] [--json out.json]

Each rule file is compiled on its own (as its own namespace); a file yara refuses alone is tried
again as yara reads it from its set's index (the index's includes), as some need a rule of another
file. Prints compiled/total per folder and for the malware rules of each set, and the skip reasons
by count.
"""
import argparse
import collections
import json
import os
import re
import subprocess
import sys
import tempfile


def yara_accepts(path):
    r = subprocess.run(["yarac", path, os.devnull], capture_output=True, text=True)
    return r.returncode == 0


def compile_one(qvxdef, path, out_dir):
    r = subprocess.run([qvxdef, "compile", "--id=202612101530", "--out-dir=" + out_dir, path],
                       capture_output=True, text=True)
    m = re.search(r": (\d+) rules compiled, (\d+) skipped", r.stdout)
    if r.returncode != 0 or not m:
        return None, r.stderr.strip()
    reasons = [line.split(" skipped: ", 1)[1] for line in r.stderr.splitlines()
               if " skipped: " in line]
    return (int(m.group(1)), int(m.group(2))), reasons


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--rules", default="/work/shared/yara-rulesets")
    ap.add_argument("--json")
    a = ap.parse_args()
    qvxdef = os.path.join(a.build, "bin", "qvxdef")
    groups = collections.OrderedDict()
    reasons = collections.Counter()
    refused_by_yara, refused_by_us = [], []
    with tempfile.TemporaryDirectory() as out_dir:
        for root, dirs, files in os.walk(a.rules):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith((".yar", ".yara")) or "index" in name:
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, a.rules)
                parts = rel.split(os.sep)
                set_name = parts[0]
                folder = parts[-2] if len(parts) > 2 else "."
                if set_name == "reversinglabs":
                    folder = parts[3] if len(parts) > 4 else parts[-2]
                if not yara_accepts(path):
                    refused_by_yara.append(rel)
                    continue
                counts, why = compile_one(qvxdef, path, out_dir)
                if counts is None:
                    refused_by_us.append((rel, why))
                    continue
                g = groups.setdefault((set_name, folder), [0, 0])
                g[0] += counts[0]
                g[1] += counts[0] + counts[1]
                for r in why:
                    reasons[re.sub(r'"[^"]*"|\$\w*', "X", r)] += 1
    result = {"folders": {}, "sets": {}, "refused_by_yara": len(refused_by_yara),
              "refused_by_qvxdef": refused_by_us, "reasons": reasons.most_common(40)}
    for (set_name, folder), (ok, total) in groups.items():
        result["folders"][set_name + "/" + folder] = [ok, total]
        malware = (set_name == "yara-rules" and folder == "malware") or (
            set_name == "reversinglabs" and folder != "certificate")
        key = set_name + (" malware" if malware else " other")
        s = result["sets"].setdefault(key, [0, 0])
        s[0] += ok
        s[1] += total
    for k, (ok, total) in sorted(result["folders"].items()):
        print(f"{k:45} {ok:6} / {total:6}  {100.0 * ok / max(total, 1):5.1f}%")
    print()
    for k, (ok, total) in sorted(result["sets"].items()):
        print(f"{k:45} {ok:6} / {total:6}  {100.0 * ok / max(total, 1):5.1f}%")
    print(f"\nfiles yara refuses alone: {len(refused_by_yara)}; refused by qvxdef: {len(refused_by_us)}")
    for rel, why in refused_by_us[:20]:
        print("  ", rel, why)
    print("\nskip reasons:")
    for r, n in reasons.most_common(25):
        print(f"{n:6}  {r}")
    if a.json:
        with open(a.json, "w") as f:
            json.dump(result, f, indent=1)


if __name__ == "__main__":
    sys.exit(main())
