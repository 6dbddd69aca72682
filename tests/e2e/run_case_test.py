#!/usr/bin/env python3
"""Self-test of run_case.py: runs small cases against stand-in programs in a temp bin dir (Python
scripts, one of which drives the fake engine through ctypes) and checks what the runner says.

Usage: run_case_test.py --fake-dir <dir holding the fake libqorvex000.so> [--no-engine]
                        [unittest args]
--no-engine skips the cases that load the fake engine into Python (sanitizer builds).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "run_case.py")
FAKE_DIR = None
NO_ENGINE = False

# The stand-in for ferrox64: runs the Python file named by its first argument.
STUB = """#!%s
import runpy, sys
sys.argv = sys.argv[1:]
runpy.run_path(sys.argv[0], run_name="__main__")
""" % sys.executable

# Drives the engine found through LD_LIBRARY_PATH: one object per path, each on its own thread,
# scanning its path with command 1; the callback prints the object name of every event.
DRIVER = r"""
import ctypes, sys, threading
lib = ctypes.CDLL("libqorvex000.so")
u64, i32 = ctypes.c_uint64, ctypes.c_int32
callback_type = ctypes.CFUNCTYPE(i32, u64, i32, ctypes.c_void_p)
lib.qvx_initialize.argtypes = [ctypes.c_char_p]
lib.qvx_create_object.argtypes = [i32, i32, ctypes.c_char_p, callback_type, ctypes.c_void_p,
                                  ctypes.POINTER(u64)]
lib.qvx_get_property.argtypes = [u64, i32, i32, ctypes.c_void_p, u64]
lib.qvx_run_command.argtypes = [u64, i32, ctypes.c_char_p, u64, u64]
lib.qvx_close_object.argtypes = [u64]
lock = threading.Lock()

def on_event(handle, event, context):
    name = ctypes.create_string_buffer(64)
    lib.qvx_get_property(handle, 21, 0, name, 64)
    with lock:
        print("event", event, name.value.decode(), flush=True)
    return 1 if event == 16 else 0

on_event_c = callback_type(on_event)
lib.qvx_initialize(None)

def scan(path):
    handle = u64(0)
    if lib.qvx_create_object(0, 14, b"/defs/", on_event_c, None, ctypes.byref(handle)) == 0:
        lib.qvx_run_command(handle.value, 1, path.encode(), 0, 0)
        lib.qvx_close_object(handle.value)

threads = [threading.Thread(target=scan, args=(p,)) for p in sys.argv[1:]]
for t in threads: t.start()
for t in threads: t.join()
lib.qvx_finalize()
"""


class RunCaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="run_case_test-")
        cls.bin = os.path.join(cls.dir, "bin")
        os.mkdir(cls.bin)
        with open(os.path.join(cls.bin, "ferrox64"), "w") as f:
            f.write(STUB)
        os.chmod(os.path.join(cls.bin, "ferrox64"), 0o755)
        with open(os.path.join(cls.bin, "drive_engine.py"), "w") as f:
            f.write(DRIVER)
        os.symlink(sys.executable, os.path.join(cls.bin, "python"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def run_case(self, text, env=None):
        path = os.path.join(self.dir, "sample.case")
        with open(path, "wb") as f:
            f.write(text.encode("latin-1"))
        run_env = dict(os.environ)
        run_env.pop("FERROX_KEEP_TMP", None)
        run_env.update(env or {})
        p = subprocess.run([sys.executable, RUNNER, "--bin-dir", self.bin, "--fake-dir", FAKE_DIR,
                            path], capture_output=True, env=run_env, timeout=120)
        return p.returncode, p.stdout.decode("latin-1") + p.stderr.decode("latin-1")

    def assert_passes(self, text, env=None):
        rc, out = self.run_case(text, env)
        self.assertEqual(rc, 0, out)

    def assert_fails(self, text, *wanted, rc=1):
        got_rc, out = self.run_case(text)
        self.assertEqual(got_rc, rc, out)
        for w in wanted:
            self.assertIn(w, out)
        return out

    def test_setup_args_stdin_and_matchers(self):
        self.assert_passes(r"""comment lines before the first section
--- info
Set-up sections, arguments, stdin and the %NUM% and %ANY% matchers.
--- mkdir a/b
--- file a/b/prog.py mode=0750
import os, stat, sys
print(sys.argv[1:])
print(open("a/b/lines.txt").read(), end="")
print(open("a/b/data.txt").read(), end="")
print(os.readlink("link"), os.path.getsize("zeros"), open("zeros", "rb").read(2))
print(oct(stat.S_IMODE(os.stat("a/b/prog.py").st_mode)), open("copied.py").read(9))
print(repr(sys.stdin.read()))
print("took 12.5 s at", os.getcwd())
sys.stderr.write("no line end")
open("report.txt", "w").write("Report 42\n")
sys.exit(7)
--- file a/b/lines.txt
line one
\---
\--- not a header
--- file a/b/data.txt nonl
x
--- symlink link %TMP%/a/b
--- binfile zeros size=1048577 byte=ff
--- copy tests/e2e/run_case.py copied.py
--- args
a/b/prog.py
with blank

%PROGDIR%
--- stdin
in
\---
--- exit
7
--- stdout
['with blank', '', '%BIN%/']
line one
\---
\--- not a header
x%TMP%/a/b 1048577 b'\xff\xff'
0o750 #!/usr/bi
'in\n---\n'
took %NUM% s at %ANY%
--- stderr nonl
no line end
--- report report.txt
Report %NUM%
--- exists link
--- absent a/nothing
""")

    def test_closed_streams(self):
        self.assert_passes(r"""
--- program python
--- closed stdout stderr
--- args
-c
import os; open_fds = repr([os.path.exists("/proc/self/fd/%d" % d) for d in (0, 1, 2)]); os.write(os.open("fds", os.O_WRONLY | os.O_CREAT), open_fds.encode())
--- exit
0
--- stdout
--- stderr
--- report fds nonl
[True, False, False]
""")
        self.assert_fails("--- closed stdout stdfoo\n--- exit\n0\n", "bad case", rc=2)

    def test_mismatches_show_diffs_and_command(self):
        out = self.assert_fails(r"""
--- args
%BIN%/../prog.py
--- file ../prog.py
print("one\ntwo")
--- exit
0
--- stdout
one
three
--- stderr
""", "bad case", rc=2)
        self.assertIn("outside the case's temp dir", out)
        out = self.assert_fails(r"""
--- file prog.py
import sys
print("one\ntwo 3x"); sys.stderr.write("oops\n"); open("r", "w").write("a\n"); sys.exit(4)
--- args
prog.py
--- exit
0
--- stdout
one
two %NUM%
--- stderr
--- report r
b
--- exists r
--- absent r
""", "exit code: expected 0, got 4", "-two %NUM%\n+two 3x", "+oops", "report r differs",
                                "-b\n+a", "r exists but should not", "command: cd ")
        self.assertIn("prog.py", out.split("command: ")[1])
        self.assertIn("sample.case: FAILED", out)

    def test_empty_and_missing_outputs(self):
        self.assert_fails("""
--- file prog.py
print("x", end="")
--- args
prog.py
--- exit
0
--- stdout
x
""", "+x\\ (no line end)")
        out = self.assert_fails("""
--- file prog.py
print("b\\ntime 5")
--- args
prog.py
--- exit
0
--- stdout
a
b
time %NUM%
""", "-a\n b\n time 5")
        self.assertNotIn("%NUM%", out)
        self.assert_fails("""
--- file prog.py
--- args
prog.py
--- exit
0
--- report missing.txt
--- stdout
something
""", "report missing.txt was not written", "-something")

    def test_sorted_outputs(self):
        case = r"""
--- file prog.py
import sys
print("b 2\na\ntime 0.25 s\nb 1")
sys.stderr.write("y\nx\n")
--- args
prog.py
--- exit
0
--- stdout sorted
a
b %NUM%
time %NUM% s
b 2
--- stderr sorted
x
y
"""
        self.assert_passes(case)
        self.assert_fails(case.replace("b 2\n--- stderr", "b 3\n--- stderr"), "stdout (sorted)",
                          "-b 3")
        self.assert_fails(case.replace("time %NUM% s\n", ""), "+time 0.25 s")
        self.assert_fails(case.replace("x\ny\n", "x\ny\ny\n"), "stderr (sorted)", "-y")

    def test_environment(self):
        self.assert_passes(r"""
--- engine real
--- env
FOO=%TMP%/foo
EMPTY=
-LC_ALL
--- file prog.py
import os
for k in ("HOME", "TMPDIR", "OMP_NUM_THREADS", "FOO", "EMPTY", "LC_ALL", "XDG_DATA_HOME",
          "LD_LIBRARY_PATH", "QVX_FAKE_LOG", "http_proxy"):
    print(k, repr(os.environ.get(k)))
print(os.path.isdir(os.environ["HOME"]), os.path.isdir(os.environ["TMPDIR"]))
--- args
prog.py
--- exit
0
--- stdout
HOME '%TMP%/home'
TMPDIR '%TMP%/tmp'
OMP_NUM_THREADS '1'
FOO '%TMP%/foo'
EMPTY ''
LC_ALL None
XDG_DATA_HOME None
LD_LIBRARY_PATH None
QVX_FAKE_LOG None
http_proxy None
True True
""", env={"XDG_DATA_HOME": "/x", "http_proxy": "http://127.0.0.1:9", "LD_LIBRARY_PATH": "/y"})

    def test_argv0_and_program(self):
        self.assert_passes(r"""
--- program python
--- argv0 custom name
--- args
-c
import sys; sys.stdout.buffer.write(open("/proc/self/cmdline", "rb").read().split(b"\0")[0])
--- exit
0
--- stdout nonl
custom name
""")
        self.assert_fails("--- program nothing-here\n--- exit\n0\n", "does not exist")
        self.assert_fails("--- program ../python\n--- exit\n0\n", "bad case", rc=2)

    def test_timeout_kills_the_program(self):
        start = time.monotonic()
        self.assert_fails("""
--- file prog.py
import subprocess, time
subprocess.Popen(["sleep", "30"])
time.sleep(30)
--- args
prog.py
--- timeout 1
--- exit
0
""", "timed out after 1 s")
        self.assertLess(time.monotonic() - start, 20)

    def test_fake_engine_log(self):
        if NO_ENGINE:
            self.skipTest("the fake engine is sanitized")
        # Three objects on three threads: handles and line order vary, the sorted log does not.
        case = r"""
--- script
run 1 /b 1
  event 16 21="$ARG" x2
run 1 * 0
  event 32 21="clean $ARG"
--- args
%BIN%/drive_engine.py
/a
/b
/c
--- exit
0
--- log sorted
initialize -> 0
create reserved=0 type=14 dir="/defs/" -> 0 h1
create reserved=0 type=14 dir="/defs/" -> 0 h2
create reserved=0 type=14 dir="/defs/" -> 0 h3
get h1 21 0 size=64 -> 0
get h1 21 0 size=64 -> 0
get h2 21 0 size=64 -> 0
get h3 21 0 size=64 -> 0
callback h1 16 -> 1
callback h1 16 -> 1
callback h2 32 -> 0
callback h3 32 -> 0
run h1 1 arg="/b" first=0 second=0 -> 1
run h2 1 arg="/a" first=0 second=0 -> 0
run h3 1 arg="/c" first=0 second=0 -> 0
close h1 -> 0
close h2 -> 0
close h3 -> 0
finalize -> 0
--- log count ^get 4
--- log sorted ^(run|close)
close h3 -> 0
run h3 1 arg="/a" first=0 second=0 -> 0
close h2 -> 0
run h2 1 arg="/b" first=0 second=0 -> 1
close h1 -> 0
run h1 1 arg="/c" first=0 second=0 -> 0
"""
        self.assert_passes(case)
        out = self.assert_fails(case.replace("--- log count ^get 4", "--- log count ^get 3"),
                                "log lines matching ^get: expected 3, got 4")
        self.assertNotIn("Traceback", out)
        out = self.assert_fails(case.replace('arg="/c"', 'arg="/d"'), '-run hN 1 arg="/d"',
                                '+run hN 1 arg="/c"')
        self.assertIn("lines matching ^(run|close)", out)
        self.assert_fails(case.replace("--- log count ^get 4", "--- log count ( 4"),
                          "bad regex", rc=2)

    def test_fake_engine_log_exact_and_bad_script(self):
        if NO_ENGINE:
            self.skipTest("the fake engine is sanitized")
        self.assert_passes(r"""
--- script
run 1 * 0
  event 32 21="$ARG"
--- args
%BIN%/drive_engine.py
%TMP%
--- exit
0
--- stdout
event 32 %TMP%
--- log grep ^(get|callback)
get h1 21 0 size=64 -> 0
callback h1 32 -> 0
--- log
initialize -> 0
create reserved=0 type=14 dir="/defs/" -> 0 h1
get h1 21 0 size=64 -> 0
callback h1 32 -> 0
run h1 1 arg="%TMP%" first=0 second=0 -> 0
close h1 -> 0
finalize -> 0
""")
        # A bad script line aborts the program at its first engine call, loudly.
        self.assert_fails("""
--- script
init 0
bogus 1
--- args
%BIN%/drive_engine.py
--- exit
0
--- stderr
fake engine: bad script line 2: unknown directive 'bogus'
""", "killed by signal 6")

    def test_bad_cases(self):
        for text, why in [
            ("--- stdout\n", "no --- exit section"),
            ("--- exit\n0\n--- exit\n0\n", "section given twice"),
            ("--- exit\n0\n--- nonsense\n", "unknown section"),
            ("--- exit\n0\n---\n", "header without a name"),
            ("--- exit\n0\n--- engine other\n", "expected fake or real"),
            ("--- exit\n0\n--- file\n", "expected 1 argument"),
            ("--- exit\n0\n--- file x mode=9\n", "bad mode"),
            ("--- exit\n0\n--- binfile x\n", "size=<n>"),
            ("--- exit\n0\n--- copy no/such/file x\n", "nothing to copy"),
            ("--- exit\n0\n--- env\nnot a setting\n", "expected KEY=VALUE"),
            ("--- exit\n0\n--- timeout 0\n", "expected seconds"),
            ("--- exit\n0\n--- stdout please\n", "takes no argument but nonl"),
            ("--- exit\n0\n--- log x\n", "takes no arguments"),
            ("--- exit\n0\n--- log sorted (\n", "bad regex"),
            ("--- exit\n0\n--- log grep [\n", "bad regex"),
            ("--- exit\n0\n--- log grep\n", "expected --- log grep <regex>"),
            ("--- exit\n0\n--- log count x\n", "log count <regex> <n>"),
            ("--- exit\n256\n", "exit code 0..255"),
            ("--- exit\n-1\n", "exit code 0..255"),
        ]:
            with self.subTest(text=text):
                self.assert_fails(text, why, rc=2)

    def test_scenarios(self):
        # (case text, exit status of the runner, texts its output must hold)
        for text, rc, wanted in [
            ("--- file a.txt\nx\n--- python\nassert open(TMP + '/a.txt').read() == 'x\\n'\n"
             "import os\nassert os.path.isfile(BIN + '/ferrox64') and 'HOME' in ENV\n"
             "print('said')\n--- exists a.txt\n", 0, ["said", "passed"]),
            ("--- info\nx\n--- python\nraise Failed('the reason')\n", 1,
             ["the reason", "FAILED"]),
            ("--- python\n\nx = {}['key']\n", 1, ["line 3", "KeyError", "FAILED"]),
            ("--- python\nskip('not here')\n", 77, ["skipped: not here"]),
            ("--- python\npass\n--- absent b\n--- check\ntest -e b\n", 1,
             ["check at line 4"]),
            ("--- python\npass\n--- args\nx\n", 2, ["runs its programs itself"]),
            ("--- python\npass\n--- exit\n0\n", 2, ["runs its programs itself"]),
        ]:
            with self.subTest(text=text):
                got_rc, out = self.run_case(text)
                self.assertEqual(got_rc, rc, out)
                for w in wanted:
                    self.assertIn(w, out)

    def test_plugins_and_seconds(self):
        sleeper = "--- file prog.py\nimport time\ntime.sleep(0.3)\n--- args\nprog.py\n--- exit\n0\n"
        self.assert_passes(sleeper + "--- seconds 0.25 30\n")
        self.assert_fails(sleeper + "--- seconds 0 0.1\n", "the program took",
                          "expected 0 to 0.1")
        for text, why in [
            ("--- needs nosuch\n--- exit\n0\n", "no plug-in 'nosuch'"),
            ("--- needs os\n--- exit\n0\n", "no plug-in 'os'"),
            ("--- needs wire\n--- exit\n0\n", "'wire' is a helper, not a plug-in"),
            ("--- needs hubsvc\n--- service maybe\n--- exit\n0\n",
             "expected running, stopped or absent"),
            ("--- needs hubsvc\n--- responder --name x\n--- python\npass\n",
             "a --- python case starts hubsvc itself"),
            ("--- responder --name x\n--- exit\n0\n", "unknown section"),
            ("--- exit\n0\n--- seconds 2 1\n", "--- seconds <low> <high>"),
        ]:
            with self.subTest(text=text):
                self.assert_fails(text, why, rc=2)
        if os.geteuid() != 0:
            self.assert_fails("--- needs root\n--- python\npass\n", "skipped: needs root",
                              rc=77)

    def test_keep_tmp(self):
        rc, out = self.run_case("--- file prog.py\n--- args\nprog.py\n--- exit\n0\n",
                                env={"FERROX_KEEP_TMP": "1"})
        self.assertEqual(rc, 0, out)
        kept = out.split("temp dir kept: ")[1].split("\n")[0]
        self.assertTrue(os.path.isfile(os.path.join(kept, "case", "prog.py")), out)
        shutil.rmtree(kept)


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] != "--fake-dir":
        sys.exit(__doc__)
    FAKE_DIR = sys.argv[2]
    rest = sys.argv[3:]
    if rest[:1] == ["--no-engine"]:
        NO_ENGINE = True
        rest = rest[1:]
    unittest.main(argv=[sys.argv[0]] + rest)
