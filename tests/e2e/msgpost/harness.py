"""Shared pieces of msgpost's end-to-end tests.

Every test gets a runtime folder of its own, handed to hubsvc, the responders
and msgpost through HUBSVC_RUNTIME_DIR, and stops what it started by pid.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time


class Fail(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Fail(what)


def exit_status(code):
    """The 8 bits a shell sees of a 32-bit exit code (-1 is 255)."""
    return code & 0xFF


def run_in_world(body, bin_dir):
    """Runs body(world) in a fresh World; prints ok or the failure and returns the exit code."""
    world = World(bin_dir)
    try:
        body(world)
    except Fail as e:
        print("FAIL:", e)
        return 1
    finally:
        world.close()
    print("ok")
    return 0


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

    def start_hubsvc(self, env=None, wait=True):
        command = [os.path.join(self.bin, "hubsvc")]
        if self.service_user:
            command = ["setpriv", "--reuid=%d" % self.service_user[0],
                       "--regid=%d" % self.service_user[1], "--clear-groups",
                       "--no-new-privs"] + command
        p = subprocess.Popen(command, env=env or self.env,
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

    def start_responder(self, *args):
        p = subprocess.Popen([os.path.join(self.bin, "msgpost_responder")] + list(args),
                             env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
        self.procs.append(p)
        line = p.stdout.readline().strip()
        expect(line == "ready", "responder %r did not register: %r" % (args, line))
        return p

    def msgpost(self, *args, timeout=90):
        start = time.monotonic()
        r = subprocess.run([os.path.join(self.bin, "msgpost")] + list(args), env=self.env,
                           capture_output=True, text=True, timeout=timeout)
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


def box(caption, text):
    """What a message box writes to standard error."""
    return caption + "\n" + text + "\n"


USAGE = ("msgpost.exe [/t timeout(ms)] [/q] [/r msgResponseId] [/f fromId] toId msgId "
         "[iParam1] [iParam2] [sParam]\n\t timeout of -1 sets the timeout to INFINITE\n")
