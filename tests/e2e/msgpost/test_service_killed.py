#!/usr/bin/env python3
"""The service is killed while msgpost waits for responses: msgpost ends with
a clean result (the recipients counted at the send), never later than its
timeout plus 10 seconds. Once the connection is lost no response can come,
so it stops waiting at once, with a limit or without one.

    test_service_killed.py BIN_DIR
"""

import signal
import sys
import time

import harness
from harness import Fail, expect


def killed_while_waiting(bin_dir, timeout_arg, low, high):
    world = harness.World(bin_dir)
    try:
        hub = world.start_hubsvc()
        world.start_responder("--name", "grp")
        start = time.monotonic()
        p = world.msgpost_async("/t", timeout_arg, "/r", "Pong", "grp", "Ping")
        time.sleep(0.7)
        world.stop(hub, signal.SIGKILL)
        out, err = p.communicate(timeout=60)
        spent = time.monotonic() - start
        what = "/t %s" % timeout_arg
        expect(p.returncode == 1, "%s: exit %d %s" % (what, p.returncode, err))
        expect(err == harness.box("msgpost", "Message sent to 1 recipients"),
               "%s: stderr %r" % (what, err))
        expect(low <= spent <= high, "%s: took %.1f s" % (what, spent))
    finally:
        world.close()


def main():
    bin_dir = sys.argv[1]
    try:
        killed_while_waiting(bin_dir, "20000", 0.6, 5)
        killed_while_waiting(bin_dir, "-1", 0.6, 5)
    except Fail as e:
        print("FAIL:", e)
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
