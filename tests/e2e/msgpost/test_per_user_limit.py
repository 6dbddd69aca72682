#!/usr/bin/env python3
"""One user cannot lock another out of hubsvc. User nobody opens 300 connections, half of them
silent and half stalled after 5 bytes: the service keeps 32 of them (its per-user limit) and
refuses the rest, root's msgpost still posts at once while nobody's cannot, and once the 5 s
for a first PDU have passed the held connections are closed and nobody posts again. The system
log gets the start, a few of the refusals and time-outs (held to 10 a minute), and the stop.
Needs root to switch users; takes about 6 seconds.

    test_per_user_limit.py BIN_DIR
"""

import os
import signal
import socket
import sys
import time
import traceback

import harness
from harness import expect

PER_USER = 32
FIRST_PDU_SECONDS = 5
NOTICE, INFO = 3 * 8 + 5, 3 * 8 + 6  # facility daemon

def hold(path, count, out):
    """Run as the other user in a child process: opens the connections, writes how many the
    service kept, then how long after the first connect the service took to close them all."""
    start = time.monotonic()
    conns = []
    for i in range(count):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(path)
        conns.append(s)
        try:
            if i % 2:
                s.sendall(b"\x05\x00\x0b\x03\x10")  # the start of a bind header, never finished
        except OSError:  # already refused
            pass

    def still_open():
        kept = []
        for s in conns:
            try:
                if s.recv(1, socket.MSG_DONTWAIT | socket.MSG_PEEK) == b"":
                    continue
            except BlockingIOError:
                kept.append(s)
            except ConnectionResetError:
                pass
        return kept

    # Refused connections are closed as soon as they are accepted.
    deadline = time.monotonic() + 3
    while len(still_open()) > PER_USER and time.monotonic() < deadline:
        time.sleep(0.05)
    os.write(out, b"%d\n" % len(still_open()))
    deadline = time.monotonic() + 20
    while still_open() and time.monotonic() < deadline:
        time.sleep(0.05)
    os.write(out, b"never\n" if still_open() else b"%.2f\n" % (time.monotonic() - start))


def start_holder(world, uid, count):
    """Forks the holder; returns its pid and a file to read its lines from."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        code = 0
        try:
            os.close(read_end)
            harness.as_user(uid)()
            hold(world.socket_path, count, write_end)
        except BaseException:
            traceback.print_exc()
            code = 1
        finally:
            os._exit(code)
    os.close(write_end)
    return pid, os.fdopen(read_end)


def check_limits(world, other, lines):
    kept = lines.readline().strip()
    expect(kept == str(PER_USER), "the service kept %s connections of one user" % kept)

    code, out, err, spent = world.msgpost("/q", "grp", "Ping")
    expect(code == 1 and err == "", "root's post while nobody holds its limit: %d %r" % (code, err))
    expect(spent < 2, "root's post took %.1f s" % spent)
    print("root's post while nobody held 300 connections: %.2f s" % spent)
    code, _, err, _ = world.msgpost("/q", "grp", "Ping", uid=other, timeout=30)
    expect(code == 248 and err == "Error\nError code -8 (0xFFFFFFF8)\n",
           "nobody's post past its own connection limit: %d %r" % (code, err))

    closed_after = lines.readline().strip()
    expect(closed_after != "never", "held connections were never closed")
    expect(FIRST_PDU_SECONDS - 0.5 <= float(closed_after) <= FIRST_PDU_SECONDS + 4,
           "held connections closed after %s s" % closed_after)
    print("nobody's held connections closed %s s after its first connect" % closed_after)
    code, _, err, _ = world.msgpost("/q", "grp", "Ping", uid=other)
    expect(code == 1, "nobody's post once its connections were closed: %d %r" % (code, err))


def body(world):
    hub, log = world.start_hubsvc_for_all()
    other = harness.nobody()
    responder = world.start_responder("--name", "grp")
    holder, lines = start_holder(world, other, 300)
    try:
        check_limits(world, other, lines)
    finally:
        os.kill(holder, signal.SIGKILL)
        os.waitpid(holder, 0)
        lines.close()
    world.stop(responder)
    expect(world.stop(hub) == 0, "hubsvc did not stop cleanly")
    if not log.prefix:
        print("note: unshare(1) is not usable here, the system log was not checked")
        return
    lines = log.lines()
    texts = [t for _, t in lines]
    expect(lines[0] == (INFO, "started, listening on %s" % world.socket_path),
           "first log line %r" % (lines[0],))
    expect(lines[-2:] == [(INFO, "stopping on signal 15, ending every connection"),
                          (INFO, "stopped")], "last log lines %r" % (lines[-2:],))
    refused = [(p, t) for p, t in lines if t.startswith("refused a connection of uid %d " % other)]
    expect(len(refused) == 10 and all(p == NOTICE for p, _ in refused),
           "refusals logged: %r" % refused)
    expect(refused[0][1].endswith("): the user holds %d connections already" % PER_USER),
           "refusal line %r" % refused[0][1])
    timed_out = [t for t in texts if t.startswith("closed a connection of uid %d " % other)]
    expect(len(timed_out) == 10, "time-outs logged: %r" % timed_out)


if __name__ == "__main__":
    harness.skip_unless_root("the per-user connection limit test")
    sys.exit(harness.run_in_world(body, sys.argv[1]))
