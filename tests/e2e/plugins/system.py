"""Plug-in `system`: the engine's system areas, ferrox64 with the real engine beside it
(tests/e2e/cases/system/).

A --- python scenario gets `c`, a SystemCase with a fresh temp dir for what the case builds (a fake
system root for QORVEX_SYSTEM_ROOT, a child process holding a marker in its memory), runs the
built scanner with c.run and compares with c.expect; the helpers below are in its scope too.
FERROX_KEEP_TMP=1 keeps the temp dir.

The markers of the shipped test signatures are joined from two halves at run time, so that this
file never matches them itself.
"""

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

from case_file import Failed

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


class Failure(Failed):
    pass


def found(name, accuracy_kind_name):
    return "Found:  %s     %s\n" % (name, accuracy_kind_name)


VIRUS = "Exact detection of Virus infection named Qorvex-Test-Virus"
WORM = "Exact detection of dropper for Network worm named Qorvex-Test-Worm"
BOOT = "Exact detection of Bootvirus Infection named Qorvex-Test-Kind-06"


class SystemCase:
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


def owner(path):
    try:
        return os.stat(path).st_uid
    except OSError:
        return None  # gone


def start(ctx):
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="ferrox-e2e-system-"))
    ctx.scope.update({k: v for k, v in globals().items() if not k.startswith("_")})
    ctx.scope["c"] = ctx.system_case = SystemCase(ctx.case.places["BIN"], tmp)


def stop(ctx):
    if not hasattr(ctx, "system_case"):
        return
    if os.environ.get("FERROX_KEEP_TMP"):
        print("kept " + ctx.system_case.tmp)
    else:
        shutil.rmtree(ctx.system_case.tmp, ignore_errors=True)
