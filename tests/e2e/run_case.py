#!/usr/bin/env python3
"""Runs one end-to-end case: builds a fresh temp dir, runs the built program (against the fake
engine by default) and compares exit code, output, files and the fake's call log exactly; or runs
the case's Python scenario. Plug-ins (tests/e2e/plugins/) start what a case needs beside it.

The case format is documented in tests/e2e/FILEFORMAT.md. Exit status: 0 passed, 1 failed,
2 the case file or the command line is wrong, 77 skipped (with the reason printed).
"""

import argparse
import os
import re
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import traceback

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from case_file import (SETUP, Case, CaseError, Failed, Skipped, compile_regex,  # noqa: E402
                       load_plugins, parse_case)
from compare import compare_text, normal_handles  # noqa: E402

# Case files and outputs are handled as bytes mapped one to one onto text, so that any byte
# survives the trip and the comparison stays exact.
ENC = "latin-1"

# The exit status CTest counts as a skipped test.
SKIPPED = 77

# A runaway program must not fill the disk or the memory of the test machine.
MAX_OUTPUT = 64 << 20
MAX_BINFILE = 256 << 20
MAX_TIMEOUT = 3600

# Variables of the caller's environment that would make a run depend on the machine: locale, home
# and temp folders, the engine search path, proxies for the update, OpenMP tuning.
DROPPED_ENV = re.compile(r"^(LC_.*|LANG|LANGUAGE|HOME|TMPDIR|TMP|TEMP|XDG_.*|LD_LIBRARY_PATH|"
                         r"LD_PRELOAD|QVX_.*|HUBSVC_.*|OMP_(?!TOOL_LIBRARIES$).*|GOMP_.*|.*_proxy|.*_PROXY)$")


def inside(root, path, where):
    """`path` relative to `root` (or absolute), refused when it leaves `root`."""
    full = os.path.normpath(os.path.join(root, path))
    if full != root and not full.startswith(root + "/"):
        raise CaseError("%s: path '%s' is outside the case's temp dir" % (where, path))
    return full


def do_setup(case, s, tmp):
    if s.kind == "mkdir":
        (path,), _ = case.args_of(s, 1)
        os.makedirs(inside(tmp, path, s.where()), exist_ok=True)
    elif s.kind == "file":
        (path,), extra = case.args_of(s, 1, ("mode", "nonl"))
        full = inside(tmp, path, s.where())
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(case.body(s, True).encode(ENC))
        mode = extra.get("mode", "0644")
        if not re.fullmatch(r"[0-7]{3,4}", str(mode)):
            raise CaseError("%s: bad mode '%s'" % (s.where(), mode))
        os.chmod(full, int(mode, 8))
    elif s.kind == "symlink":
        (path, target), _ = case.args_of(s, 2)
        full = inside(tmp, path, s.where())
        os.makedirs(os.path.dirname(full), exist_ok=True)
        os.symlink(target, full)
    elif s.kind == "binfile":
        (path,), extra = case.args_of(s, 1, ("size", "byte"))
        full = inside(tmp, path, s.where())
        size, byte = str(extra.get("size", "")), str(extra.get("byte", "00"))
        if not re.fullmatch(r"[0-9]+", size) or int(size) > MAX_BINFILE:
            raise CaseError("%s: size=<n> up to %d is required" % (s.where(), MAX_BINFILE))
        if not re.fullmatch(r"[0-9a-fA-F]{2}", byte):
            raise CaseError("%s: bad byte '%s'" % (s.where(), byte))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            chunk = bytes([int(byte, 16)]) * (1 << 20)
            left = int(size)
            while left > 0:
                f.write(chunk[:left])
                left -= len(chunk)
    elif s.kind == "copy":
        (source, dest), _ = case.args_of(s, 2)
        source = os.path.join(case.places["SRC"], source)
        full = inside(tmp, dest, s.where())
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if os.path.isdir(source):
            shutil.copytree(source, full, symlinks=True)
        elif os.path.exists(source):
            shutil.copy2(source, full)
        else:
            raise CaseError("%s: nothing to copy at '%s'" % (s.where(), source))
    elif s.kind == "sh":
        # Files that are easier made by a program than written out: archives, large trees.
        done = subprocess.run(["sh", "-e", "-c", case.body(s)], cwd=tmp, timeout=120,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            raise CaseError("%s: set-up script failed:\n%s" % (s.where(), done.stdout.decode(
                "utf-8", "replace")))


def make_env(case, tmp, fake_files):
    env = {k: v for k, v in os.environ.items() if not DROPPED_ENV.match(k)}
    env.update(OMP_NUM_THREADS="1", HOME=tmp + "/home", TMPDIR=tmp + "/tmp", LC_ALL="C")
    os.makedirs(env["HOME"], exist_ok=True)
    os.makedirs(env["TMPDIR"], exist_ok=True)
    if fake_files:
        env["LD_LIBRARY_PATH"] = case.places["FAKE"]
        env["QVX_FAKE_SCRIPT"], env["QVX_FAKE_LOG"] = fake_files
    s = case.single.get("env")
    if s:
        for line in case.body(s).splitlines():
            if not line.strip():
                continue
            if line.startswith("-") and re.fullmatch(r"-[A-Za-z_][A-Za-z0-9_]*", line):
                env.pop(line[1:], None)
            elif re.match(r"[A-Za-z_][A-Za-z0-9_]*=", line):
                key, value = line.split("=", 1)
                env[key] = value
            else:
                raise CaseError("%s: expected KEY=VALUE or -KEY, got '%s'" % (s.where(), line))
    return env


def run_program(argv, program, tmp, env, stdin_path, out_paths, timeout, closed=()):
    """Runs the program in its own process group, with the standard descriptors in `closed`
    closed. Returns (exit status or None, why it failed, seconds it ran)."""
    with open(stdin_path, "rb") as stdin, open(out_paths[0], "wb") as out, \
            open(out_paths[1], "wb") as err:
        p = subprocess.Popen(argv, executable=program, cwd=tmp, env=env, stdin=stdin, stdout=out,
                             stderr=err, start_new_session=True,
                             preexec_fn=(lambda: [os.close(fd) for fd in closed]) if closed else None)
    start = time.monotonic()
    deadline = start + timeout
    why = None
    while True:
        try:
            p.wait(timeout=0.05)
            break
        except subprocess.TimeoutExpired:
            pass
        if time.monotonic() > deadline:
            why = "timed out after %g s" % timeout
        elif any(os.path.getsize(path) > MAX_OUTPUT for path in out_paths):
            why = "wrote more than %d bytes of output" % MAX_OUTPUT
        if why:
            os.killpg(p.pid, signal.SIGKILL)  # the group of the child we started, nothing else
            p.wait()
            return None, why, time.monotonic() - start
    return p.returncode, None, time.monotonic() - start


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read(MAX_OUTPUT + 1).decode(ENC)
    except FileNotFoundError:
        return None


def check(case, s, result, tmp):
    """None when the expectation of section `s` holds, else what went wrong."""
    status, out, err, log, seconds = result
    if s.kind == "seconds":
        low, high = (float(w) for w in s.rest.split())
        if low <= seconds <= high:
            return None
        return "the program took %.2f s, expected %g to %g" % (seconds, low, high)
    if s.kind == "exit":
        want = case.body(s).strip()
        if status == int(want):
            return None
        got = "killed by signal %d" % -status if status < 0 else str(status)
        return "exit code: expected %s, got %s" % (want, got)
    if s.kind in ("stdout", "stderr"):
        in_order = "sorted" not in s.rest.split()
        d = compare_text(case.body(s, True), out if s.kind == "stdout" else err, True, in_order)
        return d and "%s%s differs:\n%s" % (s.kind, "" if in_order else " (sorted)", d)
    if s.kind == "check":
        done = subprocess.run(["sh", "-e", "-c", case.body(s)], cwd=tmp, timeout=120,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode == 0:
            return None
        return "check at %s failed:\n%s" % (s.where(), done.stdout.decode("utf-8", "replace"))
    if s.kind in ("report", "absent", "exists"):
        (path,), flags = case.args_of(s, 1, ("nonl", "sorted") if s.kind == "report" else ())
        full = os.path.join(tmp, path)
        if s.kind == "absent":
            return "%s exists but should not" % path if os.path.lexists(full) else None
        if s.kind == "exists":
            return None if os.path.lexists(full) else "%s does not exist" % path
        actual = read(full)
        if actual is None:
            return "report %s was not written" % path
        d = compare_text(case.body(s, True), actual, True, "sorted" not in flags)
        return d and "report %s differs:\n%s" % (path, d)
    if s.kind == "log":
        d = compare_text(case.body(s), log, False)
        return d and "log differs:\n%s" % d
    if s.kind == "log sorted":
        picked = log
        if s.rest.strip():
            regex = compile_regex(case.sub(s.rest), s)
            picked = "".join(l + "\n" for l in log.splitlines() if regex.search(l))
        d = compare_text(normal_handles(case.body(s)), normal_handles(picked), False)
        return d and "log (sorted, handles as hN%s) differs:\n%s" % (
            ", lines matching " + s.rest if s.rest.strip() else "", d)
    if s.kind == "log grep":
        regex = compile_regex(case.sub(s.rest), s)
        picked = "".join(l + "\n" for l in log.splitlines() if regex.search(l))
        d = compare_text(case.body(s), picked, False)
        return d and "log lines matching %s differ:\n%s" % (regex.pattern, d)
    if s.kind == "log count":
        words = case.sub(s.rest).rsplit(None, 1)
        regex = compile_regex(words[0], s)
        got = sum(1 for l in log.splitlines() if regex.search(l))
        if got == int(words[1]):
            return None
        return "log lines matching %s: expected %s, got %d" % (regex.pattern, words[1], got)
    return None


def command_line(argv, program, tmp, env):
    changed = ["%s=%s" % (k, shlex.quote(v)) for k, v in sorted(env.items())
               if os.environ.get(k) != v]
    removed = ["-u %s" % k for k in sorted(os.environ) if k not in env]
    head = "cd %s && env %s" % (shlex.quote(tmp), " ".join(removed + changed))
    return "%s %s (argv[0] %s)" % (head, shlex.join([program] + argv[1:]), shlex.quote(argv[0]))


class Context:
    """What the runner and the plug-ins share while a case runs: the case, its private folder
    `root` (beside %TMP%, never scanned), %TMP%, the program's environment `env`, and `scope`, the
    names a --- python scenario sees."""

    def __init__(self, case, root, tmp, env):
        self.case, self.root, self.tmp, self.env = case, root, tmp, env
        self.scope = {}


def run_case(case, root):
    tmp = root + "/case"
    os.mkdir(tmp)
    case.places["TMP"] = tmp
    fake_files = None
    if not case.scenario:
        engine = case.single.get("engine")
        kind = case.args_of(engine, 1)[0][0] if engine else "fake"
        if kind not in ("fake", "real"):
            raise CaseError("%s: expected fake or real" % engine.where())
        if kind == "fake":
            # Beside the case's temp dir, so that a scan of %TMP% never sees them.
            fake_files = (root + "/fake.script", root + "/fake.log")
            script = case.single.get("script")
            with open(fake_files[0], "wb") as f:
                f.write(case.body(script).encode(ENC) if script else b"")
    env = make_env(case, tmp, fake_files)
    for s in case.ordered:
        if s.kind in SETUP:
            do_setup(case, s, tmp)

    ctx = Context(case, root, tmp, env)
    failures = []
    started = []
    try:
        for p in case.plugins:
            if hasattr(p, "start"):
                started.append(p)
                p.start(ctx)
        if case.scenario:
            failures += run_scenario(ctx)
        else:
            failures += run_and_compare(case, root, tmp, env, fake_files)
    except Failed as e:
        failures.append(str(e))
    finally:
        for p in reversed(started):
            try:
                if hasattr(p, "stop"):
                    p.stop(ctx)
            except Failed as e:
                failures.append(str(e))
    return failures


def run_scenario(ctx):
    """Runs the --- python section as a module whose globals hold the places, the environment
    and what the plug-ins put in ctx.scope. It passes when it ends; it fails by raising Failed
    (or any error); skip(reason) skips the case. Then --- check, report, absent and exists."""
    s = ctx.case.single["python"]
    places = ctx.case.places
    scope = {"__name__": "scenario", "BIN": places["BIN"], "SRC": places["SRC"],
             "FAKE": places["FAKE"], "TMP": ctx.tmp, "ENV": dict(ctx.env), "Failed": Failed,
             "skip": skip}
    scope.update(ctx.scope)
    # Padded so that a traceback names the line of the case file.
    code = compile("\n" * s.line + s.body, ctx.case.places["CASE"], "exec")
    try:
        exec(code, scope)
    except (Failed, AssertionError) as e:
        return [str(e) or traceback.format_exc()]
    except Skipped:
        raise
    except Exception:
        return [traceback.format_exc().rstrip("\n")]
    result = (None, "", "", "", 0.0)
    return [p for p in (check(ctx.case, t, result, ctx.tmp) for t in ctx.case.ordered) if p]


def skip(reason):
    """Ends a scenario as skipped: CTest shows it so, with the reason in the output."""
    raise Skipped(reason)


def run_and_compare(case, root, tmp, env, fake_files):
    args = case.body(case.single["args"]).split("\n")[:-1] if "args" in case.single else []
    argv0 = case.sub(case.single["argv0"].rest) if "argv0" in case.single else case.places["PROG"]
    timeout = 60.0
    if "timeout" in case.single:
        t = case.single["timeout"]
        (value,), _ = case.args_of(t, 1)
        if not re.fullmatch(r"[0-9]+(\.[0-9]+)?", value) or not 0 < float(value) <= MAX_TIMEOUT:
            raise CaseError("%s: expected seconds from 0 to %d" % (t.where(), MAX_TIMEOUT))
        timeout = float(value)
    with open(root + "/stdin", "wb") as f:
        if "stdin" in case.single:
            f.write(case.body(case.single["stdin"], True).encode(ENC))
    stdin_path = root + "/stdin" if "stdin" in case.single else os.devnull

    closed = ()
    if "closed" in case.single:
        names = case.single["closed"].rest.split()
        streams = {"stdin": 0, "stdout": 1, "stderr": 2}
        if not names or any(n not in streams for n in names):
            raise CaseError("%s: expected stdin, stdout or stderr" % case.single["closed"].where())
        closed = tuple(streams[n] for n in names)
    argv = [argv0] + args
    program = case.places["PROG"]
    failures = []
    if not os.path.isfile(program):
        failures.append("program %s does not exist (build it first)" % program)
    else:
        outs = (root + "/stdout", root + "/stderr")
        status, why, seconds = run_program(argv, program, tmp, env, stdin_path, outs, timeout,
                                           closed)
        out, err = read(outs[0]), read(outs[1])
        log = (read(fake_files[1]) if fake_files else None) or ""
        if why:
            failures.append(why)
        else:
            for s in case.ordered:
                problem = check(case, s, (status, out, err, log, seconds), tmp)
                if problem:
                    failures.append(problem)
        if failures and "stderr" not in case.single and err:
            failures.append("(stderr, not checked:)\n" + err.rstrip("\n"))
    if failures:
        failures.append("command: " + command_line(argv, program, tmp, env))
        if os.environ.get("FERROX_KEEP_TMP") != "1":
            failures.append("(FERROX_KEEP_TMP=1 keeps the temp dir for a rerun)")
    return failures


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin-dir", required=True, help="where the built programs are")
    parser.add_argument("--fake-dir", required=True, help="where the fake libqorvex000.so is")
    parser.add_argument("--src-dir", default=os.path.dirname(os.path.dirname(here)),
                        help="the repository root (default: two levels above this script)")
    parser.add_argument("case", help="the case file")
    opts = parser.parse_args()
    name = os.path.basename(opts.case)
    out = sys.stdout.buffer

    try:
        with open(opts.case, "rb") as f:
            sections = parse_case(f.read().decode(ENC))
        bin_dir = os.path.realpath(opts.bin_dir)
        places = {"BIN": bin_dir, "SRC": os.path.realpath(opts.src_dir),
                  "FAKE": os.path.realpath(opts.fake_dir)}
        places["CASE"] = os.path.realpath(opts.case)
        case = Case(sections, places, load_plugins(sections))
        program = bin_dir + "/ferrox64"
        if "program" in case.single:
            (program,), _ = case.args_of(case.single["program"], 1)
            if "/" in program:
                raise CaseError("--- program names a file in %BIN%, not a path")
            program = bin_dir + "/" + program
        places["PROG"], places["PROGDIR"] = program, bin_dir + "/"
    except (CaseError, OSError) as e:
        out.write(("%s: bad case: %s\n" % (name, e)).encode(ENC, "replace"))
        return 2

    for p in case.plugins:
        reason = p.skip_reason(case) if hasattr(p, "skip_reason") else None
        if reason:
            out.write(("%s: skipped: %s\n" % (name, reason)).encode(ENC, "replace"))
            return SKIPPED

    root = os.path.realpath(tempfile.mkdtemp(prefix="ferrox-e2e-%s-" % name.split(".")[0]))
    try:
        failures = run_case(case, root)
    except (CaseError, OSError) as e:
        out.write(("%s: bad case: %s\n" % (name, e)).encode(ENC, "replace"))
        return 2
    except Skipped as e:
        out.write(("%s: skipped: %s\n" % (name, e)).encode(ENC, "replace"))
        return SKIPPED
    finally:
        if os.environ.get("FERROX_KEEP_TMP") == "1":
            out.write(("%s: temp dir kept: %s\n" % (name, root)).encode(ENC))
        else:
            remove_tree(root)
    for f in failures:
        out.write((f + "\n").encode(ENC, "replace"))
    out.write(("%s: %s\n" % (name, "FAILED" if failures else "passed")).encode(ENC))
    return 1 if failures else 0


def remove_tree(root):
    """Removes the temp dir, also where the program under test took away write or search bits."""
    def retry(func, path, _):
        parent = os.path.dirname(path)
        os.chmod(parent, os.stat(parent).st_mode | stat.S_IRWXU)
        if os.path.isdir(path) and not os.path.islink(path):
            os.chmod(path, os.stat(path).st_mode | stat.S_IRWXU)
        func(path)

    shutil.rmtree(root, onerror=retry)


if __name__ == "__main__":
    sys.exit(main())
