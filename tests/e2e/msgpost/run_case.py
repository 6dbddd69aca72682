#!/usr/bin/env python3
"""Runs one msgpost case file against the real hubsvc and responders.

    run_case.py BIN_DIR CASE_FILE

The format is described in FORMAT.md beside this script.
"""

import shlex
import sys

import harness
from harness import Fail, expect


def parse(path):
    case = {"service": "running", "responders": [], "args": None, "exit": None,
            "stderr": None, "seconds": None}
    lines = open(path, encoding="utf-8").read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        if not line.strip() or line.startswith("#"):
            continue
        key, _, value = line.partition(":")
        value = value.strip()
        if key == "service":
            expect(value in ("running", "stopped", "absent"), "bad service: " + value)
            case["service"] = value
        elif key == "responder":
            case["responders"].append(shlex.split(value))
        elif key == "args":
            case["args"] = shlex.split(value)
        elif key == "exit":
            case["exit"] = int(value)
        elif key == "seconds":
            low, high = value.split()
            case["seconds"] = (float(low), float(high))
        elif key == "stderr":
            block = []
            while lines[i] != "end":
                block.append(lines[i])
                i += 1
            i += 1
            case["stderr"] = "".join(l + "\n" for l in block).replace("\\t", "\t")
        else:
            raise Fail("unknown line in case file: %r" % line)
    expect(case["args"] is not None and case["exit"] is not None, "a case needs args and exit")
    return case


def run(bin_dir, path):
    case = parse(path)
    world = harness.World(bin_dir, installed=case["service"] != "absent")
    try:
        if case["service"] == "running":
            world.start_hubsvc()
        responders = [world.start_responder(*r) for r in case["responders"]]
        code, out, err, spent = world.msgpost(*case["args"])
        expect(code == harness.exit_status(case["exit"]),
               "exit %d, expected %d (%d)\nstderr:\n%s" % (
                   code, harness.exit_status(case["exit"]), case["exit"], err))
        expect(out == "", "msgpost wrote to stdout: %r" % out)
        if case["stderr"] is not None:
            expect(err == case["stderr"], "stderr:\n%r\nexpected:\n%r" % (err, case["stderr"]))
        if case["seconds"]:
            low, high = case["seconds"]
            expect(low <= spent <= high, "took %.2f s, expected %.1f to %.1f" % (spent, low, high))
        for r in responders:
            world.stop(r)
    finally:
        world.close()


def main():
    try:
        run(sys.argv[1], sys.argv[2])
    except Fail as e:
        print("FAIL:", e)
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
