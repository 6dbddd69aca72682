#!/usr/bin/env python3
"""End-to-end cases of the engine's system areas: ferrox64 with the real engine beside it.

Each case builds what it needs in a fresh temp dir (a fake system root for QORVEX_SYSTEM_ROOT, a
child process holding a marker in its memory), runs the built scanner and compares its exit code
and output. Usage:

    run_system_case.py --bin-dir build/bin <case>

Exit status 0 when the case holds, 1 when it does not (with the differences), 2 on a usage error.
FERROX_KEEP_TMP=1 keeps the temp dir.

The markers of the shipped test signatures are joined from two halves at run time, so that this
file never matches them itself.
"""

import argparse
import difflib
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import zlib

MARKERS = {
    "virus": "QORVEX-HARMLESS" + "-TEST-MARKER:VIRUS",
    "worm": "QORVEX-HARMLESS" + "-TEST-MARKER:WORM",
    "boot": "QORVEX-HARMLESS" + "-TEST-KIND-06",
}

BANNER = """Velmora Command Line Scanner for Linux version 6.2.2.1
ferrox is made by the ferrox developers. Free software, without any warranty.
Scan Engine Version: %NUM%
Dat File (Sigbase.def) Version: %NUM%
Dat File (Qorvexcon.def) Version: %NUM%
"""

STATISTICS = """

Statistics:

Processed:             %NUM% File(s)
Processed:             %NUM% Object(s)
Detected:              {detected} Object(s)
Deleted:               0 Object(s)
Failed on:             0 Object(s)
Quarantined:           0 Object(s)
Cleaned:               0 Object(s)
Disinfect Failed:      0 File(s)
Delete Failed:         0 File(s)
Pending Delete:        0 Files(s)
Quarantine Failed:     0 Files(s)

Scanning time:  %NUM% second(s)
"""

# Variables that would make a run depend on the machine it runs on.
DROPPED_ENV = re.compile(r"^(LC_.*|LANG|LANGUAGE|HOME|TMPDIR|TMP|TEMP|XDG_.*|LD_LIBRARY_PATH|"
                         r"LD_PRELOAD|QVX_.*|QORVEX_.*|OMP_.*|GOMP_.*)$")


class Failure(Exception):
    pass


def found(name, accuracy_kind_name):
    return "Found:  %s     %s\n" % (name, accuracy_kind_name)


VIRUS = "Exact detection of Virus infection named Qorvex-Test-Virus"
WORM = "Exact detection of dropper for Network worm named Qorvex-Test-Worm"
BOOT = "Exact detection of Bootvirus Infection named Qorvex-Test-Kind-06"


class Case:
    def __init__(self, bin_dir, tmp):
        self.bin_dir = bin_dir
        self.tmp = tmp
        self.root = os.path.join(tmp, "root")
        os.makedirs(os.path.join(tmp, "home"))
        os.makedirs(os.path.join(tmp, "tmp"))
        os.makedirs(os.path.join(tmp, "empty"))

    # --- the fake system root ---

    def put(self, system_path, content, mode=0o644):
        path = self.root + system_path
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode() if isinstance(content, str) else content)
        os.chmod(path, mode)

    def link(self, system_path, target):
        path = self.root + system_path
        os.makedirs(os.path.dirname(path), exist_ok=True)
        os.symlink(target, path)

    def disk(self, name, image, partitions):
        device = "/sys/devices/pci0000:00/0000:00:05.0/block/" + name
        self.put(device + "/size", "%d\n" % (len(image) // 512))
        self.put(device + "/queue/logical_block_size", "512\n")
        self.put(device + "/uevent", "MAJOR=254\nMINOR=0\nDEVNAME=%s\nDEVTYPE=disk\n" % name)
        for part, start in partitions:
            self.put(device + "/%s/partition" % part, "1\n")
            self.put(device + "/%s/start" % part, "%d\n" % start)
            self.put(device + "/%s/uevent" % part, "DEVNAME=%s\nDEVTYPE=partition\n" % part)
        self.link("/sys/block/" + name, "../devices/pci0000:00/0000:00:05.0/block/" + name)
        self.put("/dev/" + name, image, 0o660)

    # --- running the scanner ---

    def run(self, args, env=None, program=None, prefix=(), timeout=600):
        environ = {k: v for k, v in os.environ.items() if not DROPPED_ENV.match(k)}
        environ.update({"LC_ALL": "C", "OMP_NUM_THREADS": "1",
                        "HOME": os.path.join(self.tmp, "home"),
                        "TMPDIR": os.path.join(self.tmp, "tmp")})
        environ.update(env or {})
        program = program or os.path.join(self.bin_dir, "ferrox64")
        try:
            proc = subprocess.run(list(prefix) + [program] + args, cwd=self.tmp, env=environ,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout,
                                  start_new_session=True)
        except subprocess.TimeoutExpired:
            raise Failure("no answer within %d seconds: %s" % (timeout, args))
        if proc.returncode < 0:
            raise Failure("killed by signal %d: %s\n%s" % (-proc.returncode, args,
                                                          proc.stderr.decode(errors="replace")))
        return proc.returncode, proc.stdout.decode(errors="replace"), \
            proc.stderr.decode(errors="replace")

    def expect(self, what, expected, actual):
        """Compares texts exactly, but for %NUM% (digits) and %ROOT% / %TMP% (the dirs)."""
        expected = expected.replace("%ROOT%", self.root).replace("%TMP%", self.tmp)
        pattern = "".join(r"[0-9][0-9.]*" if part == "%NUM%" else re.escape(part)
                          for part in re.split(r"(%NUM%)", expected))
        if not re.fullmatch(pattern, actual, re.S):
            diff = difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                        "expected " + what, "actual " + what)
            raise Failure("".join(diff))

    def expect_equal(self, what, expected, actual):
        if expected != actual:
            raise Failure("%s: expected %r, got %r" % (what, expected, actual))


def mbr_and_gpt_image():
    """A 64-sector disk: the boot marker in the MBR's boot code and in the first GPT entry's
    name, and the virus marker in the boot sector of the partition that starts at sector 40."""
    image = bytearray(64 * 512)
    boot = MARKERS["boot"].encode()
    image[16:16 + len(boot)] = boot
    image[510:512] = b"\x55\xaa"
    entries = bytearray(128 * 128)
    entries[0] = 1  # a type GUID: the entry is used
    entries[56:56 + len(boot)] = boot
    header = bytearray(512)
    header[0:8] = b"EFI PART"
    struct.pack_into("<IIIIQQQQ16sQIII", header, 8, 0x10000, 92, 0, 0, 1, 63, 34, 62,
                     b"\x00" * 16, 2, 128, 128, zlib.crc32(entries))
    struct.pack_into("<I", header, 16, zlib.crc32(bytes(header[:92])))
    image[512:1024] = header
    image[1024:1024 + len(entries)] = entries
    virus = MARKERS["virus"].encode()
    image[40 * 512 + 3:40 * 512 + 3 + len(virus)] = virus
    return bytes(image)


def case_boot_records(c):
    """A planted marker in a fake MBR, GPT and boot sector is reported with a "Found: " line."""
    c.disk("vda", mbr_and_gpt_image(), [("vda1", 40)])
    env = {"QORVEX_SYSTEM_ROOT": c.root}
    code, out, err = c.run(["--nomem", "empty"], env)
    c.expect("stdout", BANNER +
             found("%ROOT%/dev/vda>MBR", BOOT) +
             found("%ROOT%/dev/vda>GPT entries", BOOT) +
             found("%ROOT%/dev/vda1>boot sector", VIRUS) +
             STATISTICS.format(detected=3), out)
    c.expect("stderr", "", err)
    c.expect_equal("exit code", 5, code)
    # Without a disk the phases say why, and the run goes on to its end.
    shutil.rmtree(c.root)
    os.makedirs(c.root + "/sys/block")
    code, out, err = c.run(["--nomem", "empty"], env)
    prog = os.path.join(c.bin_dir, "ferrox64")
    c.expect("stdout", BANNER +
             "%s: \nMBR Scan: Feature not supported\n" % prog +
             "%s: \nGPT Scan: Feature not supported\n" % prog +
             "%s: \nBootsector Scan: Feature not supported\n" % prog +
             STATISTICS.format(detected=0), out)
    c.expect_equal("exit code", 0, code)


def case_startup_items(c):
    """A planted marker in the program of a fake systemd unit, behind a cron line and in an
    ld.so.preload library is reported; the startup files themselves are clean."""
    c.put("/etc/systemd/system/updater.service",
          "[Unit]\nDescription=x\n[Service]\nExecStart=-/usr/libexec/updater --daemon\n")
    c.link("/etc/systemd/system/multi-user.target.wants/updater.service", "../updater.service")
    c.put("/usr/libexec/updater", "\x7fELF " + MARKERS["virus"], 0o755)
    c.put("/etc/crontab", "SHELL=/bin/sh\n*/10 * * * * root test -x /opt/sync.sh && /opt/sync.sh\n")
    c.put("/opt/sync.sh", "#!/bin/sh\necho " + MARKERS["worm"] + "\n", 0o755)
    c.put("/etc/ld.so.preload", "/usr/lib/libhook.so\n")
    c.put("/usr/lib/libhook.so", "\x7fELF " + MARKERS["virus"])
    code, out, err = c.run(["--nomem", "--nombr", "--noboot", "-S", "empty"],
                           {"QORVEX_SYSTEM_ROOT": c.root})
    c.expect("stdout", BANNER +
             found("%ROOT%/usr/libexec/updater", VIRUS) +
             found("%ROOT%/opt/sync.sh", WORM) +
             found("%ROOT%/usr/lib/libhook.so", VIRUS) +
             STATISTICS.format(detected=3), out)
    c.expect("stderr", "", err)
    c.expect_equal("exit code", 5, code)


class MarkerProcess:
    """A child that holds the virus marker in its heap, joined there from two arguments."""

    def __init__(self):
        half = len("QORVEX-HARMLESS")
        marker = MARKERS["virus"]
        self.proc = subprocess.Popen(
            [sys.executable, "-c",
             "import sys\nm = sys.argv[1] + sys.argv[2]\nprint('ready', flush=True)\n"
             "sys.stdin.read()\n", marker[:half], marker[half:]],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if self.proc.stdout.readline() != b"ready\n":
            raise Failure("the marker process did not start")
        self.pid = self.proc.pid

    def stop(self):
        os.kill(self.pid, signal.SIGKILL)
        self.proc.wait()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def mem_lines(out, pid):
    prefix = "Found:  /proc/%d/mem>" % pid
    return [line for line in out.splitlines() if line.startswith(prefix)]


def case_memory(c):
    """The advanced memory scan of the running system finds the marker that a test process
    holds in its memory; the single-process tools find and dump it too."""
    child = MarkerProcess()
    try:
        code, out, err = c.run(["--nobasicmem", "--nombr", "--noboot", "empty"])
        hits = mem_lines(out, child.pid)
        if not hits or not all(line.endswith(VIRUS) for line in hits):
            raise Failure("no detection in process %d:\n%s" % (child.pid, out))
        c.expect("stderr", "", err)
        c.expect_equal("exit code", 5, code)

        for tool in ("--scanProcess=%d", "--scanProcessHeaps=%d"):
            code, out, err = c.run(["--nomem", "--nombr", "--noboot", tool % child.pid, "empty"])
            hits = mem_lines(out, child.pid)
            found_lines = [line for line in out.splitlines() if line.startswith("Found:")]
            if not hits or hits != found_lines or not all(line.endswith(VIRUS) for line in hits):
                raise Failure("%s: expected detections in process %d only:\n%s"
                              % (tool, child.pid, out))
            c.expect("stderr", "", err)
            c.expect_equal(tool + " exit code", 5, code)

        tmp = os.path.join(c.tmp, "tmp")
        code, out, err = c.run(["--nomem", "--nombr", "--noboot", "--dumpProcessList",
                                "--dumpProcessHeaps=%d" % child.pid, "empty"])
        c.expect("stdout", BANNER + STATISTICS.format(detected=0), out)
        c.expect_equal("exit code", 0, code)
        with open(os.path.join(tmp, "auth_log.txt")) as f:
            listed = [line.split("\t") for line in f.read().splitlines()]
        c.expect_equal("list header", ["PID", "PPID", "UID", "NAME", "EXE", "CMDLINE"], listed[0])
        mine = [row for row in listed if row[0] == str(child.pid)]
        c.expect_equal("list line", [[str(child.pid), str(os.getpid()), "0",
                                      os.path.basename(sys.executable)[:15],
                                      os.path.realpath(sys.executable)]],
                       [row[:5] for row in mine])
        dumps = [n for n in os.listdir(tmp) if n.startswith("%d_" % child.pid)]
        held = [n for n in dumps if MARKERS["virus"].encode() in read_bytes(os.path.join(tmp, n))]
        if not held or not all(re.fullmatch(r"%d_python[0-9.]*_heap_[0-9a-f]+-[0-9a-f]+\.bin"
                                            % child.pid, n) for n in dumps):
            raise Failure("heap dumps: %s, holding the marker: %s" % (dumps, held))
        for name in dumps + ["auth_log.txt"]:
            c.expect_equal(name + " mode", 0o600, os.stat(os.path.join(tmp, name)).st_mode & 0o7777)

        code, out, err = c.run(["--nomem", "--nombr", "--noboot", "--scanProcess=no-such-process",
                                "--dumpProcessOnlyMemImage=4194305", "empty"])
        prog = os.path.join(c.bin_dir, "ferrox64")
        c.expect("stdout", BANNER +
                 "%s: \nScan Single Process:  Not found\n" % prog +
                 "%s: \nDump Process Only Memory Image:  Not found\n" % prog +
                 STATISTICS.format(detected=0), out)
    finally:
        child.stop()


def owner(path):
    try:
        return os.stat(path).st_uid
    except OSError:
        return None  # gone


def case_unprivileged(c):
    """ferrox64 -V -S run by a normal user completes every phase on the real system and reports
    the areas it may not read, without a crash or a hang."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        print("skipped: needs root and setpriv to become a normal user")
        return 77
    # A copy that user 65534 can reach and run.
    bin_copy = os.path.join(c.tmp, "bin")
    os.makedirs(bin_copy)
    for name in ("ferrox64", "libqorvex000.so", "sigbase-v2.def", "qorvexcon-v2.def"):
        shutil.copy2(os.path.join(c.bin_dir, name), bin_copy)
    for path in (c.tmp, bin_copy, os.path.join(c.tmp, "home"), os.path.join(c.tmp, "tmp"),
                 os.path.join(c.tmp, "empty")):
        os.chmod(path, 0o777 if path.endswith(("home", "tmp")) else 0o755)
    prog = os.path.join(bin_copy, "ferrox64")
    code, out, err = c.run(["-V", "-S", "empty"], program=prog,
                           prefix=["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"])
    # Every phase ran, in order; the areas that need privileges answer "Access error". Memory
    # is only readable when the machine runs other processes of that user.
    others = any(owner("/proc/" + name) == 65534 for name in os.listdir("/proc") if name.isdigit())
    memory = "COMPLETE" if others else "Access error"
    phases = [line for line in out.splitlines()
              if re.match(r"^(Scanning Memory|Basic Memory|Advanced Memory|Scanning MBR|MBR Scan|"
                          r"GPT Scan|Scanning Bootsector|Bootsector Scan|Scanning Startup|"
                          r"Statistics:)", line)]
    c.expect("phases", "Scanning Memory - Basic Scan:\nBasic Memory Scan: %s\n" % memory +
             "Scanning Memory - Advanced Scan:\nAdvanced Memory Scan: %s\n" % memory +
             "Scanning MBR\nMBR Scan: Access error\nGPT Scan: Access error\n"
             "Scanning Bootsector\nBootsector Scan: Access error\nScanning Startup items\n"
             "Statistics:\n", "".join(line + "\n" for line in phases))
    c.expect("stderr", "", err)
    c.expect_equal("exit code", 0, code)


CASES = {
    "boot_records": case_boot_records,
    "startup_items": case_startup_items,
    "memory": case_memory,
    "unprivileged": case_unprivileged,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    opts = parser.parse_args()
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="ferrox-e2e-system-%s-" % opts.case))
    try:
        result = CASES[opts.case](Case(os.path.realpath(opts.bin_dir), tmp))
        return result or 0
    except Failure as failure:
        print("FAILED %s: %s" % (opts.case, failure))
        return 1
    finally:
        if os.environ.get("FERROX_KEEP_TMP"):
            print("kept " + tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
