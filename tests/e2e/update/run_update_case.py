#!/usr/bin/env python3
"""End-to-end cases of `ferrox64 --update`; see README.md in this folder.

    run_update_case.py --case NAME --bin BUILD/bin --fake-engine DIR --publish TOOL

Each case copies the program, the engine and the shipped definitions into a folder of its own,
publishes a release with `publish`, serves it from a loopback HTTP server with basic
authentication, runs the update with the per-user folder set through the environment, and
compares the exit code, standard output and standard error exactly. Every case also checks that
no file is left in the working folder, and every failed update that the old definitions are
byte-identical. Exit status 0 when the case passes.
"""

import argparse
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


class failure(Exception):
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


def case_no_settings(w):
    w.settings("baseurl=x\n", name="avupd.ini.old")
    expect_failure(w, 236, 4505, "no settings file")


def case_section_header(w):
    w.settings("[update]\n" + w.good_settings(1))
    expect_failure(w, 234, 4503, "section header first")


def case_engine_no_identifier(w):
    port, log = w.start_server()
    w.publish(next_id("202612101200", 1))
    w.settings(w.good_settings(port))
    w.use_fake_engine("prop 3 0 !-1\n")
    code, out, err = w.run("--update")
    check_equal(code, 233, "exit code")
    check(err.endswith(w.line(4502)) and err.count("Updating error") == 1, f"stderr {err!r}")
    check("Updat" not in out, f"stdout {out!r}")
    check_equal(os.listdir(w.work), [], "working folder")
    check_equal(targets(log), [], "requests")


def case_wrong_password(w):
    port, log = w.start_server()
    w.publish(next_id(w.installed_id(), 1))
    w.settings(w.good_settings(port, password="wrong"))
    expect_failure(w, 232, 4501, "wrong password")
    check_equal([(r["target"], r["authorization"]) for r in requests(log)],
                [(paths(next_id(w.installed_id(), 1))[0], basic(USER, "wrong"))], "requests")


def case_server_stalls(w):
    # One server never answers the hit file, the other sends the package at 2 bytes a second.
    # Both updates end by the low-speed limit (under 1,024 bytes a second for 60 seconds), each
    # with its step's failure; they run at once so that the case waits only once.
    stall_port, stall_log = w.start_server(mode="stall", name="stall")
    trickle_port, trickle_log = w.start_server(mode="trickle", name="trickle")
    new = next_id(w.installed_id(), 1)
    w.publish(new)
    w.settings(w.good_settings(stall_port))
    trickle_data = os.path.join(w.root, "trickle-data")
    os.makedirs(trickle_data)
    w.settings(w.good_settings(trickle_port), folder=trickle_data)
    preamble = w.preamble()
    before = w.definitions()
    environments = [dict(w.environment), dict(w.environment, XDG_DATA_HOME=trickle_data)]
    started = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        results = list(pool.map(lambda env: w.run("--update", environment=env), environments))
    elapsed = time.monotonic() - started
    expected = (232, preamble + "\nScanning time:  N second(s)\n", w.line(4501))
    check_equal(results, [expected, expected], "stalled and trickled updates")
    check(60 <= elapsed < 200, f"the updates took {elapsed:.0f} seconds")
    check(w.definitions() == before, "the definitions changed")
    expect_only_definitions(w, "stalled and trickled updates")
    check_equal(os.listdir(w.work), [], "working folder")
    check_equal(len(requests(stall_log)), 1, "requests to the stalling server")
    check_equal(targets(trickle_log), paths(new), "requests to the trickling server")


def case_equal_identifier(w):
    port, log = w.start_server()
    w.publish(w.installed_id())
    w.settings(w.good_settings(port))
    before = w.definitions()
    w.expect_update(0, stdout_line=w.line(4507))
    check(w.definitions() == before, "definitions changed")
    check_equal(targets(log), paths(w.installed_id())[:1], "requests: no package asked for")


def case_older_identifier(w):
    port, log = w.start_server()
    w.publish(next_id(w.installed_id(), -1))
    w.settings(w.good_settings(port))
    w.expect_update(0, stdout_line=w.line(4507))
    check_equal(len(targets(log)), 1, "requests: no package asked for")


def case_updated(w):
    port, log = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    w.settings(w.good_settings(port))
    w.expect_update(0, stdout_line=w.line(4506, " " + new))
    check(w.definitions() == published, "the installed files are not the published ones")
    check_equal([(r["target"], r["authorization"]) for r in requests(log)],
                [(p, basic(USER, PASSWORD)) for p in paths(new)], "requests")
    # The next run loads them: its scan reports the new identifiers and succeeds.
    sample = os.path.join(w.root, "clean.txt")
    with open(sample, "w") as f:
        f.write("nothing to see here\n")
    code, out, err = w.run("--nomem", "--nombr", "--noboot", sample)
    check_equal((code, err), (0, ""), "scan after the update")
    for label in ("Dat File (Sigbase.def) Version: ", "Dat File (Qorvexcon.def) Version: "):
        check(label + new + "\n" in out, f"scan does not report {new} loaded:\n{out}")


def case_description_error_status(w):
    port, log = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    os.remove(w.package(new)[: -len(".zip")] + ".ini")
    w.settings(w.good_settings(port))
    w.expect_update(0, stdout_line=w.line(4506, " " + new))
    check(w.definitions() == published, "definitions not installed")
    check_equal(targets(log), paths(new), "requests")


def case_baseurl_slash(w):
    port, log = w.start_server()
    new = next_id(w.installed_id(), 1)
    w.publish(new, www=os.path.join(w.www, "mirror"))
    original = w.definitions()
    seen = []
    for base in ("/mirror", "/mirror/"):
        for name, data in original.items():
            with open(os.path.join(w.app, name), "wb") as f:
                f.write(data)
        open(log, "w").close()
        w.settings(w.good_settings(port, base=base))
        w.expect_update(0, stdout_line=w.line(4506, " " + new), what=f"baseurl {base}")
        seen.append(targets(log))
    check_equal(seen[0], paths(new, "/mirror/"), "requests without a trailing /")
    check_equal(seen[1], seen[0], "requests with a trailing /")


def case_archive_error_page(w):
    port, log = w.start_server()
    new = next_id(w.installed_id(), 1)
    w.publish(new)
    os.remove(w.package(new))
    w.settings(w.good_settings(port))
    expect_failure(w, 231, 4500, "archive answer is an error page")
    check_equal(targets(log), paths(new), "requests")


def rewrite_package(path, entries, stored=False):
    method = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(path, "w", method) as z:
        for name, data in entries:
            z.writestr(name, data)


def case_archive_entry_missing(w):
    port, _ = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    rewrite_package(w.package(new), [(DEFS[0], published[DEFS[0]])])
    w.settings(w.good_settings(port))
    expect_failure(w, 231, 4500, "archive without qorvexcon-v2.def")


def case_archive_corrupt_entry(w):
    port, _ = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    package = w.package(new)
    rewrite_package(package, list(published.items()), stored=True)
    # Damage the second entry, so the first was unpacked whole before the fault shows.
    with zipfile.ZipFile(package) as z:
        info = z.getinfo(DEFS[1])
    data = bytearray(open(package, "rb").read())
    name_length, extra_length = struct.unpack_from("<HH", data, info.header_offset + 26)
    start = info.header_offset + 30 + name_length + extra_length
    data[start + info.file_size // 2] ^= 0x5A
    with open(package, "wb") as f:
        f.write(data)
    w.settings(w.good_settings(port))
    expect_failure(w, 231, 4500, "archive with a corrupt entry")


def case_archive_cut_short(w):
    port, log = w.start_server(mode="cut")
    new = next_id(w.installed_id(), 1)
    w.publish(new)
    w.settings(w.good_settings(port))
    expect_failure(w, 232, 4501, "archive download cut short")
    check_equal(targets(log), paths(new), "requests")


def case_avupd_wins(w):
    port, log = w.start_server()
    w.publish(w.installed_id())
    # A wrong password would end in 232: the outcome tells which file was read.
    rows = [
        ("both files: avupd.ini is read", {"avupd.ini": PASSWORD, "dunmarrow.ini": "wrong"}, 0),
        ("dunmarrow.ini alone is read the same way", {"dunmarrow.ini": PASSWORD}, 0),
        ("dunmarrow.ini alone, wrong password", {"dunmarrow.ini": "wrong"}, 232),
    ]
    for what, files, code in rows:
        for name in ("avupd.ini", "dunmarrow.ini"):
            if os.path.exists(os.path.join(w.data, name)):
                os.remove(os.path.join(w.data, name))
        for name, password in files.items():
            w.settings(w.good_settings(port, password=password), name=name)
        if code == 0:
            w.expect_update(0, stdout_line=w.line(4507), what=what)
        else:
            expect_failure(w, code, 4501, what)


def case_settings_in_home(w):
    port, _ = w.start_server()
    w.publish(w.installed_id())
    share = os.path.join(w.home, ".local", "share")
    # No XDG_DATA_HOME, or a relative one, means $HOME/.local/share, made when missing.
    for what, value in (("unset", None), ("relative", "data")):
        w.environment["XDG_DATA_HOME"] = value
        if not os.path.isdir(share):
            w.expect_update(236, stderr_line=w.line(4505), what=f"XDG_DATA_HOME {what}, no file")
            check(os.path.isdir(share) and (os.stat(share).st_mode & 0o777) == 0o700,
                  "the per-user folder was not made with mode 0700")
        w.settings(w.good_settings(port), folder=share)
        w.expect_update(0, stdout_line=w.line(4507), what=f"XDG_DATA_HOME {what}")


def case_proxy(w):
    port, origin_log = w.start_server()
    proxy_port, proxy_log = w.start_server(mode="proxy", name="proxy")
    w.publish(w.installed_id())
    proxy = f"proxy=http://127.0.0.1:{proxy_port}\n"
    rows = [
        ("both proxy keys", "proxyuser=pu\nproxypassword=pp\n", basic("pu", "pp")),
        ("only proxyuser", "proxyuser=pu\n", None),
        ("only proxypassword", "proxypassword=pp\n", None),
    ]
    hit = paths(w.installed_id())[0]
    for what, keys, expected in rows:
        open(proxy_log, "w").close()
        open(origin_log, "w").close()
        w.settings(w.good_settings(port, extra=proxy + keys))
        w.expect_update(0, stdout_line=w.line(4507), what=what)
        check_equal([(r["target"], r["proxy_authorization"]) for r in requests(proxy_log)],
                    [(f"http://127.0.0.1:{port}{hit}", expected)], f"{what}: proxy requests")
        check_equal([(r["target"], r["authorization"]) for r in requests(origin_log)],
                    [(hit, basic(USER, PASSWORD))], f"{what}: server requests")


def case_file_url_refused(w):
    new = next_id(w.installed_id(), 1)
    w.publish(new)
    # Only http and https are fetched: a file:// base must not read the release from disk.
    w.settings(f"baseurl=file://{w.www}/\nusername={USER}\npassword={PASSWORD}\n")
    expect_failure(w, 232, 4501, "file:// base address")


def case_deflocation(w):
    port, _ = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    defs = os.path.join(w.root, "defs")
    os.makedirs(defs)
    for name in DEFS:
        shutil.move(os.path.join(w.app, name), defs)
    w.settings(w.good_settings(port))
    # The folder is given without a trailing "/": the update adds one before the file names.
    code, out, err = w.run("--update", "--deflocation=" + defs)
    check_equal((code, err), (0, ""), "update into --deflocation=")
    check(w.line(4506, " " + new) in out, f"stdout {out!r}")
    check(w.definitions(defs) == published, "definitions not installed in --deflocation=")
    check_equal(sorted(os.listdir(w.app)), ["ferrox64", "libqorvex000.so"], "program folder")
    check_equal(os.listdir(w.work), [], "working folder")


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


def case_refused_packages(w):
    port, _ = w.start_server()
    installed = w.installed_id()
    new, older = next_id(installed, 1), next_id(installed, -1)
    sig, con = w.original[DEFS[0]], w.original[DEFS[1]]
    rows = [
        ("junk signatures", {DEFS[0]: b"junk" * 1000, DEFS[1]: stamped(con, new)}),
        ("truncated signatures", {DEFS[0]: stamped(sig, new)[: len(sig) // 2],
                                  DEFS[1]: stamped(con, new)}),
        ("truncated companion", {DEFS[0]: stamped(sig, new), DEFS[1]: stamped(con, new)[:100]}),
        ("empty companion", {DEFS[0]: stamped(sig, new), DEFS[1]: b""}),
        ("files of an older release", {DEFS[0]: stamped(sig, older), DEFS[1]: stamped(con, older)}),
        ("files of the installed release", {DEFS[0]: sig, DEFS[1]: con}),
        ("companion of another release", {DEFS[0]: stamped(sig, new),
                                          DEFS[1]: stamped(con, next_id(new, 1))}),
    ]
    w.publish(new)
    w.settings(w.good_settings(port))
    for what, files in rows:
        rewrite_package(w.package(new), list(files.items()))
        expect_failure(w, 231, 4500, what)
        expect_only_definitions(w, what)
    # The same package, sound, goes in: the refusals were about the files alone.
    rewrite_package(w.package(new), [(DEFS[0], stamped(sig, new)), (DEFS[1], stamped(con, new))])
    w.expect_update(0, stdout_line=w.line(4506, " " + new), what="sound package")
    scan_works(w, new, "sound package")


def case_repairs_damaged_install(w):
    port, _ = w.start_server()
    installed = w.installed_id()
    w.publish(installed)
    w.settings(w.good_settings(port))
    # A payload byte flipped: the engine refuses the file and every scan ends with 249.
    damaged = bytearray(w.original[DEFS[0]])
    damaged[-1] ^= 0x5A
    with open(os.path.join(w.app, DEFS[0]), "wb") as f:
        f.write(damaged)
    code, _, _ = w.run("--version")
    check_equal(code, 249, "a run with damaged definitions")
    # A refused package leaves the damaged install as it was.
    good = w.package(installed)
    shutil.copy(good, good + ".good")
    rewrite_package(good, [(DEFS[0], b"junk"), (DEFS[1], w.original[DEFS[1]])])
    code, out, err = w.run("--update")
    check_equal((code, err.endswith(w.line(4500))), (231, True), f"refused repair: {err!r}")
    check(w.definitions()[DEFS[0]] == damaged, "refused repair changed the files")
    # Even the installed release repairs it: nothing counts as installed.
    shutil.move(good + ".good", good)
    code, out, err = w.run("--update")
    check_equal(code, 0, f"repair: {err!r}")
    check(out.endswith(w.line(4506, " " + installed) + "\nScanning time:  N second(s)\n"),
          f"repair stdout {out!r}")
    check("Initializing Scan Engine" in err and "Updat" not in err, f"repair stderr {err!r}")
    check(w.definitions() == w.original, "repair did not put the release in place")
    expect_only_definitions(w, "repair")
    check_equal(os.listdir(w.work), [], "repair: working folder")
    scan_works(w, installed, "repair")


def case_signed_releases(w):
    port, _ = w.start_server()
    keys = w.keys
    a_private, a_public = w.new_key("a")
    b_private, b_public = w.new_key("b")
    junk = os.path.join(w.root, "junk.pub")
    with open(junk, "w") as f:
        f.write("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n")
    w.settings(w.good_settings(port))
    rows = [  # trusted keys, signing key, installed?
        ("no trusted key, unsigned", [], None, True),
        ("no trusted key, signed", [], a_private, True),
        ("trusted key, signed by it", [a_public], a_private, True),
        ("trusted key, unsigned", [a_public], None, False),
        ("trusted key, signed by another key", [a_public], b_private, False),
        ("two trusted keys, signed by the second", [a_public, b_public], b_private, True),
        ("a broken key file still counts", [junk], None, False),
        ("private key file as .pub is no key", [a_private], a_private, False),
    ]
    for number, (what, trusted, signer, installed) in enumerate(rows):
        shutil.rmtree(keys, ignore_errors=True)
        os.makedirs(keys)
        for i, key in enumerate(trusted):
            shutil.copy(key, os.path.join(keys, f"k{i}.pub"))
        w.restore()
        new = next_id(w.installed_id(), 1 + number)
        published = w.publish(new, sign_key=signer)
        if installed:
            w.expect_update(0, stdout_line=w.line(4506, " " + new), what=what)
            check(w.definitions() == published, f"{what}: not installed")
        else:
            expect_failure(w, 231, 4500, what)
        expect_only_definitions(w, what)
    # A signature taken from another release does not cover this one.
    os.makedirs(keys, exist_ok=True)
    shutil.copy(a_public, os.path.join(keys, "a.pub"))
    w.restore()
    first, second = next_id(w.installed_id(), 50), next_id(w.installed_id(), 51)
    w.publish(first, sign_key=a_private)
    with zipfile.ZipFile(w.package(first)) as z:
        borrowed = z.read("release.sig")
    w.publish(second)
    with zipfile.ZipFile(w.package(second), "a") as z:
        z.writestr("release.sig", borrowed)
    expect_failure(w, 231, 4500, "signature of another release")


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


def case_interrupted_install(w):
    port, _ = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    w.settings(w.good_settings(port))
    syscalls = ["mkdir", "openat", "rename", "fsync", "unlink", "rmdir"]
    counts, _ = strace_counts(w, syscalls)
    check(counts.get("rename", 0) >= 5, f"unexpected install steps {counts}")
    # openat is everywhere (libraries, settings, definitions); the last ones are the update's,
    # from the downloads on.
    steps = [(name, n) for name in syscalls if name != "openat"
             for n in range(1, counts.get(name, 0) + 1)]
    steps += [("openat", n) for n in range(max(1, counts["openat"] - 15), counts["openat"] + 1)]
    for name, n in steps:
        what = f"killed at {name} #{n}"
        w.restore()
        w.run("--update", wrap=["strace", "-f", "-qq", "-o", "/dev/null",
                                "-e", f"inject={name}:signal=KILL:when={n}"])
        code, _, err = w.run("--version")
        check_equal((code, err), (0, ""), f"{what}: the next plain run")
        expect_one_release(w, (w.original, published), what)


def case_failed_rename(w):
    port, _ = w.start_server()
    new = next_id(w.installed_id(), 1)
    published = w.publish(new)
    w.settings(w.good_settings(port))
    _, calls = strace_counts(w, ["rename"])
    # The renames that put the pair in place are the ones out of the staging folder.
    into_place = [i + 1 for i, call in enumerate(calls)
                  if ".fxupdate/" in call.split(",", 1)[0] and ".fxupdate/" not in
                  call.split(",", 1)[1]]
    check_equal(len(into_place), 2, f"renames into place in {calls}")
    for when, left in ((into_place[0], w.original), (into_place[1], None)):
        what = f"rename #{when} fails"
        w.restore()
        code, _, err = w.run("--update", wrap=["strace", "-f", "-qq", "-o", "/dev/null", "-e",
                                               f"inject=rename:error=EIO:when={when}+"])
        check_equal((code, err.endswith(w.line(4500))), (231, True), f"{what}: {err!r}")
        if left:
            check(w.definitions() == left, f"{what}: files changed before the pair went in")
        # The staged pair was complete and verified: the next run puts it in place.
        code, _, err = w.run("--version")
        check_equal((code, err), (0, ""), f"{what}: the next plain run")
        expect_one_release(w, (published,), what)


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--bin", required=True)
    parser.add_argument("--fake-engine", required=True)
    parser.add_argument("--publish", required=True)
    options = parser.parse_args()
    w = world(options)
    try:
        CASES[options.case](w)
    except failure as e:
        print(f"FAIL {options.case}: {e}")
        return 1
    finally:
        w.close()
    print(f"ok {options.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
