#!/usr/bin/env python3
"""Many clients at once: several responders under one name, and several
msgpost runs at the same time, each counting every response.

    test_many_clients.py BIN_DIR
"""

import sys

import harness
from harness import expect

RESPONDERS = 8
SENDERS = 6


def body(world):
    hub = world.start_hubsvc()
    responders = [world.start_responder("--name", "grp", "--response", "Pong",
                                        "--delay", str(20 * i)) for i in range(RESPONDERS)]
    senders = [world.msgpost_async("/q", "/t", "20000", "/r", "Pong", "grp", "Ping", str(i))
               for i in range(SENDERS)]
    for p in senders:
        out, err = p.communicate(timeout=60)
        expect(p.returncode == RESPONDERS, "exit %d: %s" % (p.returncode, err))
        expect(out == "" and err == "", "output %r %r" % (out, err))
    for r in responders:
        world.stop(r)
        lines = r.stdout.read().split("\n")
        got = sum(1 for l in lines if l.startswith("received Ping"))
        expect(got == SENDERS, "a responder received %d messages" % got)
    expect(world.stop(hub) == 0, "hubsvc did not stop cleanly")


if __name__ == "__main__":
    sys.exit(harness.run_in_world(body, sys.argv[1]))
