"""Plug-in `hubsvc`: the dispatcher service and responders beside msgpost.

Every case gets a runtime folder of its own, handed to hubsvc, the responders
and msgpost through HUBSVC_RUNTIME_DIR, and stops what it started by pid.
A case that runs a program may say `--- service running|stopped|absent`
(default running: hubsvc is started and listens before the program runs) and
`--- responder ARGS` (any number: msgpost_responder ARGS, each registered
before the program runs and stopped after it). A --- python scenario gets
`world`, a World of its own, and starts what it needs itself.
"""

import os
import pwd
import re
import shlex
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

from case_file import CaseError, Failed

ONCE = ("service",)
REPEATED = ("responder",)


class Fail(Failed):
    pass


def validate(case):
    if case.scenario:
        for kind in ONCE + REPEATED:
            if kind in case.single or any(s.kind == kind for s in case.ordered):
                raise CaseError("--- %s: a --- python case starts hubsvc itself" % kind)
    elif "service" in case.single:
        s = case.single["service"]
        if s.rest.strip() not in ("running", "stopped", "absent") or s.body:
            raise CaseError("%s: expected running, stopped or absent" % s.where())


def start(ctx):
    bin_dir = ctx.case.places["BIN"]
    if ctx.case.scenario:
        ctx.hubsvc = World(bin_dir)
        ctx.scope["world"] = ctx.hubsvc
        return
    s = ctx.case.single.get("service")
    service = s.rest.strip() if s else "running"
    world = ctx.hubsvc = World(bin_dir, installed=service != "absent")
    ctx.env["HUBSVC_RUNTIME_DIR"] = world.dir
    world.env = ctx.env
    if service == "running":
        world.start_hubsvc()
    ctx.responders = [world.start_responder(*[ctx.case.sub(w) for w in shlex.split(r.rest)])
                      for r in ctx.case.ordered if r.kind == "responder"]


def stop(ctx):
    try:
        for r in getattr(ctx, "responders", ()):
            ctx.hubsvc.stop(r)
    finally:
        ctx.hubsvc.close()


def nobody():
    """The uid of the unprivileged user `nobody`."""
    return pwd.getpwnam("nobody").pw_uid


def as_user(uid):
    """A preexec_fn that makes the child run as uid (and the same gid, no other groups)."""
    def switch():
        os.setgroups([])
        os.setgid(uid)
        os.setuid(uid)
    return switch


class SystemLog:
    """What hubsvc writes to the system log. hubsvc runs in a mount namespace of its own whose
    /dev is a folder holding a datagram socket `log` that this object reads; that needs root and
    unshare(1), so where they are missing `prefix` is None and nothing is captured."""

    LINE = re.compile(r"<(\d+)>.{15} hubsvc\[(\d+)\]: (.*)$", re.S)

    def __init__(self, top):
        self.dev = os.path.join(top, "dev")
        os.mkdir(self.dev)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(os.path.join(self.dev, "log"))
        # Read at once, as a system log does: a full socket would hold the service up.
        self.got = []
        threading.Thread(target=self._read, daemon=True).start()
        self.prefix = None
        try:
            usable = subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode
        except OSError:
            usable = 1
        if usable == 0:
            self.prefix = ["unshare", "--mount", "sh", "-c",
                           'mount --bind "$0" /dev && exec "$@"', self.dev]

    def _read(self):
        while True:
            data = self.sock.recv(65536).decode("utf-8", "replace")
            m = self.LINE.match(data)
            self.got.append((int(m.group(1)), m.group(3)) if m else (-1, data))

    def lines(self, wait=0.3):
        """(priority, text) of every line logged so far, after waiting `wait` seconds for more."""
        time.sleep(wait)
        return list(self.got)


def expect(cond, what):
    if not cond:
        raise Fail(what)


def exit_status(code):
    """The 8 bits a shell sees of a 32-bit exit code (-1 is 255)."""
    return code & 0xFF


class World:
    """A runtime folder and the processes started in it."""

    def __init__(self, bin_dir, installed=True):
        self.bin = bin_dir
        self.top = tempfile.mkdtemp(prefix="msgpost_e2e.")
        self.dir = os.path.join(self.top, "run")
        if installed:
            os.mkdir(self.dir)
        self.env = dict(os.environ, HUBSVC_RUNTIME_DIR=self.dir)
        self.env.pop("NOTIFY_SOCKET", None)
        self.procs = []
        # HUBSVC_E2E_AS=UID:GID runs hubsvc as that user, as its systemd unit does; the folders
        # that systemd would hand to the service are handed to that user here.
        self.service_user = None
        if os.environ.get("HUBSVC_E2E_AS"):
            uid, gid = (int(n) for n in os.environ["HUBSVC_E2E_AS"].split(":"))
            self.service_user = (uid, gid)
            os.chmod(self.top, 0o755)
            os.chown(self.top, uid, gid)
            if installed:
                os.chown(self.dir, uid, gid)

    @property
    def socket_path(self):
        return os.path.join(self.dir, "dspIfEp")

    def start_hubsvc(self, env=None, wait=True, log=None):
        """With a SystemLog whose prefix is set, hubsvc's system log goes to it."""
        argv = [os.path.join(self.bin, "hubsvc")]
        if self.service_user:
            argv = ["setpriv", "--reuid=%d" % self.service_user[0],
                    "--regid=%d" % self.service_user[1], "--clear-groups",
                    "--no-new-privs"] + argv
            if log is not None:
                # As a system's own log socket: open to a service that runs as another user.
                os.chmod(os.path.join(log.dev, "log"), 0o666)
        if log is not None and log.prefix:
            argv = log.prefix + argv
        p = subprocess.Popen(argv, env=env or self.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.procs.append(p)
        if wait:
            self.wait_ready(p)
            if self.service_user:
                uid = os.stat("/proc/%d" % p.pid).st_uid
                expect(uid == self.service_user[0], "hubsvc runs as uid %d" % uid)
        return p

    def wait_ready(self, p, timeout=10):
        """The daemon writes its pid once its socket listens."""
        pid_file = os.path.join(self.dir, "hubsvc.pid")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if p.poll() is not None:
                raise Fail("hubsvc ended early: %r" % p.stderr.read())
            try:
                with open(pid_file) as f:
                    if f.read().strip() == str(p.pid):
                        return
            except FileNotFoundError:
                pass
            time.sleep(0.01)
        raise Fail("hubsvc did not become ready")

    def start_hubsvc_for_all(self):
        """hubsvc, reachable by every user (the runtime folder is private by default here), with
        its system log captured; returns it and the SystemLog."""
        os.chmod(self.top, 0o755)
        os.chmod(self.dir, 0o755)
        log = SystemLog(self.top)
        return self.start_hubsvc(log=log), log

    def start_responder(self, *args, uid=None):
        p = subprocess.Popen([os.path.join(self.bin, "msgpost_responder")] + list(args),
                             env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, preexec_fn=None if uid is None else as_user(uid))
        self.procs.append(p)
        line = p.stdout.readline().strip()
        expect(line == "ready", "responder %r did not register: %r" % (args, line))
        return p

    def msgpost(self, *args, timeout=90, uid=None):
        start = time.monotonic()
        r = subprocess.run([os.path.join(self.bin, "msgpost")] + list(args), env=self.env,
                           capture_output=True, text=True, timeout=timeout,
                           preexec_fn=None if uid is None else as_user(uid))
        return r.returncode, r.stdout, r.stderr, time.monotonic() - start

    def msgpost_async(self, *args):
        return subprocess.Popen([os.path.join(self.bin, "msgpost")] + list(args), env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def stop(self, p, sig=signal.SIGTERM, timeout=10):
        if p.poll() is None:
            os.kill(p.pid, sig)
        try:
            return p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.kill(p.pid, signal.SIGKILL)
            p.wait()
            raise Fail("process %d did not stop on signal %d" % (p.pid, sig))

    def close(self):
        for p in self.procs:
            if p.poll() is None:
                os.kill(p.pid, signal.SIGKILL)
                p.wait()
            for stream in (p.stdout, p.stderr):
                if stream:
                    stream.close()
        shutil.rmtree(self.top, ignore_errors=True)


def wait_for_line(p, prefix, timeout=10):
    """Reads the output of p until a line that starts with prefix: False at its end or once
    timeout seconds have passed without one."""
    seen = threading.Event()

    def read():
        for line in p.stdout:
            if line.startswith(prefix):
                seen.set()
                return

    threading.Thread(target=read, daemon=True).start()
    return seen.wait(timeout)


def box(caption, text):
    """What a message box writes to standard error."""
    return caption + "\n" + text + "\n"


USAGE = ("msgpost.exe [/t timeout(ms)] [/q] [/r msgResponseId] [/f fromId] toId msgId "
         "[iParam1] [iParam2] [sParam]\n\t timeout of -1 sets the timeout to INFINITE\n")
