#!/usr/bin/env python3
"""hubsvc's life as msgpost sees it: installed but stopped (msgpost checks
every 5 seconds and connects once the service runs: this test takes about 6
seconds), a stale socket, a second daemon, the readiness notice to systemd,
and a clean stop on SIGTERM with a client blocked in a receive.

    test_service_lifecycle.py BIN_DIR
"""

import os
import signal
import socket
import sys
import time

import harness
from harness import expect


def stopped_then_started(world):
    # A socket left behind by a crash: connecting is refused, so "stopped".
    stale = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    stale.bind(world.socket_path)
    stale.close()
    start = time.monotonic()
    p = world.msgpost_async("/q", "x", "Ping")
    time.sleep(1.0)
    expect(p.poll() is None, "msgpost did not wait for the stopped service")
    hub = world.start_hubsvc()
    out, err = p.communicate(timeout=70)
    spent = time.monotonic() - start
    expect(p.returncode == 0, "exit %d: %s" % (p.returncode, err))
    expect(err == "" and out == "", "output %r %r" % (out, err))
    # The second check, 5 s after the first, finds the service running.
    expect(4.5 <= spent <= 9, "connected after %.1f s" % spent)
    return hub


def second_daemon_refused(world):
    p = world.start_hubsvc(wait=False)
    expect(p.wait(timeout=10) == 1, "a second hubsvc did not exit 1")
    err = p.stderr.read().decode()
    expect("another hubsvc is running" in err, "second hubsvc said %r" % err)
    code, _, err, _ = world.msgpost("/q", "x", "Ping")
    expect(code == 0, "the first hubsvc stopped serving: %d %s" % (code, err))


def clean_stop(world, hub):
    responder = world.start_responder("--name", "grp")
    start = time.monotonic()
    expect(world.stop(hub) == 0, "hubsvc did not exit 0 on SIGTERM")
    expect(time.monotonic() - start < 3, "hubsvc took long to stop")
    expect(responder.wait(timeout=10) == 0, "the responder did not see its connection end")
    expect(not os.path.exists(world.socket_path), "socket left behind")
    expect(not os.path.exists(os.path.join(world.dir, "hubsvc.pid")), "pid file left behind")
    expect(os.path.isdir(world.dir), "runtime folder removed: the service would read as absent")


def ready_notice(bin_dir):
    world = harness.World(bin_dir, installed=False)
    try:
        notify_path = os.path.join(world.top, "notify")
        sink = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        sink.bind(notify_path)
        # As systemd's own: open to a service that runs as another user.
        os.chmod(notify_path, 0o666)
        sink.settimeout(10)
        hub = world.start_hubsvc(env=dict(world.env, NOTIFY_SOCKET=notify_path))
        msg = sink.recv(256).decode()
        expect(msg == "READY=1\nMAINPID=%d" % hub.pid, "notice %r" % msg)
        expect(os.path.isdir(world.dir), "runtime folder not created")
        expect(oct(os.stat(world.socket_path).st_mode & 0o777) == "0o666", "socket mode")
        world.stop(hub, signal.SIGINT)
        sink.close()
    finally:
        world.close()


def body(world):
    bin_dir = world.bin
    hub = stopped_then_started(world)
    second_daemon_refused(world)
    clean_stop(world, hub)
    ready_notice(bin_dir)


if __name__ == "__main__":
    sys.exit(harness.run_in_world(body, sys.argv[1]))
