#!/usr/bin/env python3
"""End-to-end: the engine's worker pool follows the CPUs the process may use, not the machine's.

ferrox64 (real engine) scans a folder with --verbose under an affinity mask of one CPU (as
`taskset -c 0` sets it), its standard output a pipe that this script does not read. Once the pipe
holds more than the banner, the scanner is raising events, so its pool has started; it cannot end
while the pipe is not read (its output is far bigger than the pipe), and its threads named
"qvx-worker" are then counted: one. The same with the whole affinity mask gives as many
workers as CPUs in the mask (at most 64), unless a cgroup CPU quota says fewer. No timing: the
script only waits for states. Usage:

    workers_under_affinity.py --bin-dir build/bin

Exit 0 when the counts hold, 1 when not, 77 when the machine has a single CPU (nothing to tell
apart).
"""

import argparse
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time

FILES = 3000  # about 600 KB of "Scanning:" and "Clean:" lines
EVENTS_SEEN = 32 << 10  # far more than the banner: lines of events have been written
DEADLINE = 120  # seconds: only a hang ever takes this long


def workers(pid):
    count = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, task)) as f:
                count += f.read().strip() == "qvx-worker"
        except FileNotFoundError:
            pass
    return count


def count_workers(bin_dir, folder, cpus):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("OMP_", "LD_", "QVX_"))}
    env.update({"LC_ALL": "C", "OMP_NUM_THREADS": "1"})
    read_end, write_end = os.pipe()
    proc = subprocess.Popen([os.path.join(bin_dir, "ferrox64"), "--nomem", "--nombr", "--noboot",
                             "-V", folder], stdout=write_end, stderr=subprocess.DEVNULL, env=env,
                            preexec_fn=lambda: os.sched_setaffinity(0, cpus))
    os.close(write_end)
    try:
        waited = 0.0
        while True:
            pending = fcntl.ioctl(read_end, termios.FIONREAD, b"\0\0\0\0")
            if int.from_bytes(pending, sys.byteorder) >= EVENTS_SEEN:
                break
            if proc.poll() is not None:
                raise RuntimeError("the scan ended before its output filled the pipe")
            if waited > DEADLINE:
                raise RuntimeError("the pipe never filled")
            time.sleep(0.05)
            waited += 0.05
        return workers(proc.pid)
    finally:
        proc.kill()
        proc.wait()
        os.close(read_end)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    args = parser.parse_args()
    mask = sorted(os.sched_getaffinity(0))
    if len(mask) < 2:
        print("skipped: a single CPU")
        return 77
    tmp = tempfile.mkdtemp(prefix="ferrox-workers-")
    try:
        folder = os.path.join(tmp, "many")
        os.makedirs(folder)
        for i in range(FILES):
            with open(os.path.join(folder, "a-file-with-a-long-name-to-fill-lines-%05d.txt" % i),
                      "w") as f:
                f.write("clean %d\n" % i)
        failures = []
        one = count_workers(args.bin_dir, folder, {mask[0]})
        if one != 1:
            failures.append("affinity of one CPU: %d workers, want 1" % one)
        every = count_workers(args.bin_dir, folder, set(mask))
        if not 1 <= every <= min(len(mask), 64):
            failures.append("affinity of %d CPUs: %d workers, want 1 to %d" %
                            (len(mask), every, min(len(mask), 64)))
        for failure in failures:
            print(failure)
        print("workers: %d with one CPU, %d with %d" % (one, every, len(mask)))
        return 1 if failures else 0
    finally:
        shutil.rmtree(tmp)


if __name__ == "__main__":
    sys.exit(main())
