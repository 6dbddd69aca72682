"""Plug-in `update`: the world of a `ferrox64 --update` case (tests/e2e/cases/update/).

A --- python scenario gets `w`, a world whose folder holds copies of the program, the engine and
the shipped definitions, so that an update never writes into the build's bin dir. `w` publishes
releases with `qvxdef publish`, serves them from loopback HTTP servers with basic authentication
(update_server.py), writes the settings into the per-user folder and runs the program with a clean
environment; the helpers below (expect_failure, scan_works, ...) are in the scenario's scope too.
Every case checks that no file is left in the working folder, and every failed update that the
old definitions are byte-identical.
"""

import base64
import concurrent.futures
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from types import SimpleNamespace

from case_file import Failed

USER, PASSWORD = "fxuser", "se=cret"  # a "=" in the value is part of it
SERVER_DIR = "zorav/deffiles/def5-2"
DEFS = ("sigbase-v2.def", "qorvexcon-v2.def")
ID_AT = slice(16, 28)  # where a definitions file header keeps its identifier

MSG = {
    4500: "Updating error: Unable to write sigbase.def or qorvexcon.def",
    4501: "Updating error: Username, password error in downloading definition files",
    4502: "Updating error: Other error updating",
    4503: "Updating error: Badly formated avupd.ini file",
    4505: "Updating error: Unable to find avupd.ini",
    4506: "Updated to ",
    4507: "No update available",
}


class failure(Failed):
    pass


def check(condition, what):
    if not condition:
        raise failure(what)


def check_equal(actual, expected, what):
    if actual != expected:
        raise failure(f"{what}:\n--- expected\n{expected!r}\n--- actual\n{actual!r}")


class world:
    """One case's folders, programs and servers."""

    def __init__(self, options):
        self.options = options
        self.root = tempfile.mkdtemp(prefix="fx_update_")
        self.app = os.path.join(self.root, "app")
        self.data = os.path.join(self.root, "data")
        self.home = os.path.join(self.root, "home")
        self.work = os.path.join(self.root, "work")
        self.www = os.path.join(self.root, "www")
        for d in (self.app, self.data, self.home, self.work, self.www):
            os.makedirs(d)
        for name in ("ferrox64", "libqorvex000.so") + DEFS:
            source = os.path.join(options.bin, name)
            check(os.path.exists(source), f"{source} is missing: build ferrox64 and the definitions")
            shutil.copy2(source, self.app)
        self.program = os.path.join(self.app, "ferrox64")
        self.original = self.definitions()
        self.servers = []
        self.fake_script = None
        # No trusted key unless a case adds some: the tests never depend on /etc/ferrox/keys.
        self.keys = os.path.join(self.root, "no-keys")
        os.makedirs(self.keys)
        self.environment = {"XDG_DATA_HOME": self.data, "FERROX_TRUSTED_KEYS": self.keys}

    def close(self):
        for proc in self.servers:
            os.kill(proc.pid, signal.SIGTERM)
            proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    # Definitions and releases.
    def installed_id(self):
        with open(os.path.join(self.app, DEFS[0]), "rb") as f:
            return f.read()[ID_AT].decode()

    def definitions(self, folder=None):
        folder = folder or self.app
        return {name: open(os.path.join(folder, name), "rb").read() for name in DEFS}

    def publish(self, ident, www=None, sign_key=None):
        """Publishes the original definitions stamped with `ident`, signed with the private key
        file `sign_key` when given; returns their bytes."""
        folder = os.path.join(self.root, "release-" + ident)
        os.makedirs(folder, exist_ok=True)
        for name, data in self.original.items():
            data = bytearray(data)
            data[ID_AT] = ident.encode()
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        command = [self.options.publish, "publish", "--out", www or self.www]
        if sign_key:
            command.append("--sign-key=" + sign_key)
        result = subprocess.run(command + [folder], capture_output=True, text=True)
        check(result.returncode == 0, f"publish failed: {result.stderr}")
        return self.definitions(folder)

    def restore(self):
        """Puts the original definitions back, as if no update had run."""
        for name, data in self.original.items():
            with open(os.path.join(self.app, name), "wb") as f:
                f.write(data)

    def new_key(self, name):
        """Makes an Ed25519 key pair; returns the private and the public key file."""
        private = os.path.join(self.root, name + ".pem")
        public = os.path.join(self.root, name + ".pub")
        for command in (["genpkey", "-algorithm", "ed25519", "-out", private],
                        ["pkey", "-in", private, "-pubout", "-out", public]):
            result = subprocess.run(["openssl"] + command, capture_output=True, text=True)
            check(result.returncode == 0, f"openssl {command[0]}: {result.stderr}")
        return private, public

    def package(self, ident):
        return os.path.join(self.www, SERVER_DIR, f"sigbase-v2-z-{ident}.zip")

    # Servers.
    def start_server(self, mode="serve", name="server"):
        log = os.path.join(self.root, name + ".log")
        open(log, "w").close()
        proc = subprocess.Popen(
            [sys.executable, os.path.join(os.path.dirname(__file__), "update_server.py"),
             "--mode", mode, "--root", self.www, "--user", USER, "--password", PASSWORD,
             "--log", log], stdout=subprocess.PIPE, text=True)
        self.servers.append(proc)
        port = int(proc.stdout.readline())
        return port, log

    # Settings.
    def settings(self, text, name="avupd.ini", folder=None):
        with open(os.path.join(folder or self.data, name), "w", newline="") as f:
            f.write(text)

    def good_settings(self, port, base="/", password=PASSWORD, extra=""):
        return (f"baseurl=http://127.0.0.1:{port}{base}\nusername={USER}\n"
                f"password={password}\n{extra}")

    # Running the program.
    def use_fake_engine(self, script):
        self.fake_script = os.path.join(self.root, "fake.script")
        with open(self.fake_script, "w") as f:
            f.write(script)

    def run(self, *args, wrap=(), environment=None):
        env = {"PATH": "/usr/bin:/bin", "HOME": self.home, "LANG": "C"}
        environment = self.environment if environment is None else environment
        env.update({k: v for k, v in environment.items() if v is not None})
        if wrap:
            # A sanitizer build's leak check cannot run under ptrace; other builds ignore this.
            env["ASAN_OPTIONS"] = "detect_leaks=0"
        if self.fake_script:
            env["LD_LIBRARY_PATH"] = self.options.fake_engine
            env["QVX_FAKE_SCRIPT"] = self.fake_script
        result = subprocess.run(list(wrap) + [self.program] + list(args), cwd=self.work, env=env,
                                capture_output=True, timeout=300)
        out = re.sub(rb"Scanning time:  \d+ second\(s\)", b"Scanning time:  N second(s)",
                     result.stdout)
        return result.returncode, out.decode("latin-1"), result.stderr.decode("latin-1")

    def preamble(self):
        """What every run prints before its action: banner and version information."""
        code, out, err = self.run("--version")
        check(code == 0, f"--version failed: {code} {err}")
        tail = "\nScanning time:  N second(s)\n"
        check(out.endswith(tail), f"unexpected --version output {out!r}")
        return out[: -len(tail)]

    def line(self, number, extra=""):
        return f"{self.program}: {MSG[number]}{extra}\n"

    def expect_update(self, code, stdout_line="", stderr_line="", what="update"):
        """Runs --update and compares everything it printed."""
        preamble = self.preamble()
        actual = self.run("--update")
        expected = (code, preamble + stdout_line + "\nScanning time:  N second(s)\n", stderr_line)
        check_equal(actual, expected, what)
        check_equal(os.listdir(self.work), [], f"{what}: files left in the working folder")


def requests(log):
    with open(log) as f:
        return [json.loads(line) for line in f]


def targets(log):
    return [r["target"] for r in requests(log)]


def basic(user, password):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


def next_id(ident, step):
    return f"{int(ident) + step:012d}"


def paths(ident, base="/"):
    stem = f"{base}{SERVER_DIR}/sigbase-v2-z-{ident}"
    return [f"{base}{SERVER_DIR}/sigbase-v2-hit.ini", stem + ".ini", stem + ".zip"]


# Failed updates: the old definitions stay, the working folder stays empty.
def expect_failure(w, code, message, what):
    before = w.definitions()
    w.expect_update(code, stderr_line=w.line(message), what=what)
    check(w.definitions() == before, f"{what}: the definitions changed")


def rewrite_package(path, entries, stored=False):
    method = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(path, "w", method) as z:
        for name, data in entries:
            z.writestr(name, data)


# Releases that must never replace a working install.
def stamped(data, ident):
    data = bytearray(data)
    data[ID_AT] = ident.encode()
    return bytes(data)


def expect_only_definitions(w, what):
    check_equal(sorted(os.listdir(w.app)), sorted(["ferrox64", "libqorvex000.so"] + list(DEFS)),
                f"{what}: files in the definitions folder")


def scan_works(w, ident, what):
    """A scan after the update loads the definitions and reports `ident` for both files."""
    sample = os.path.join(w.root, "clean.txt")
    with open(sample, "w") as f:
        f.write("nothing to see here\n")
    code, out, err = w.run("--nomem", "--nombr", "--noboot", sample)
    check_equal((code, err), (0, ""), f"{what}: scan after the update")
    for label in ("Dat File (Sigbase.def) Version: ", "Dat File (Qorvexcon.def) Version: "):
        check(label + ident + "\n" in out, f"{what}: scan does not report {ident}:\n{out}")


def strace_counts(w, syscalls):
    """How often the main thread of one update makes each of `syscalls`."""
    log = os.path.join(w.root, "strace.log")
    w.restore()
    w.run("--update", wrap=["strace", "-f", "-qq", "-o", log, "-e", "trace=" + ",".join(syscalls)])
    counts = {}
    with open(log) as f:
        lines = [line.split(None, 1) for line in f if line.strip()]
    main = lines[0][0]
    for pid, call in lines:
        name = call.split("(", 1)[0]
        if pid == main and name in syscalls:
            counts[name] = counts.get(name, 0) + 1
    return counts, [call for pid, call in lines if pid == main]


def expect_one_release(w, releases, what):
    check(w.definitions() in releases, f"{what}: the two files are from different releases")
    expect_only_definitions(w, what)
    check_equal(os.listdir(w.work), [], f"{what}: working folder")


def start(ctx):
    places = ctx.case.places
    options = SimpleNamespace(bin=places["BIN"], fake_engine=places["FAKE"],
                              publish=os.path.join(places["BIN"], "qvxdef"))
    ctx.scope.update({k: v for k, v in globals().items() if not k.startswith("_")})
    ctx.scope["w"] = ctx.update_world = world(options)


def stop(ctx):
    if hasattr(ctx, "update_world"):
        ctx.update_world.close()
