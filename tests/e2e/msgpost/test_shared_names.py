#!/usr/bin/env python3
"""Names are shared across users: a client of user nobody that registers a name a root client
holds receives the messages sent to that name as well, and the system log gets a notice of the
registration. Needs root to switch users.

    test_shared_names.py BIN_DIR
"""

import sys

import harness
from harness import expect

NOTICE = 3 * 8 + 5  # facility daemon


def body(world):
    hub, log = world.start_hubsvc_for_all()
    other = harness.nobody()
    mine = world.start_responder("--name", "grp")
    theirs = world.start_responder("--name", "grp", uid=other)
    code, _, err, _ = world.msgpost("/q", "grp", "Ping", "7")
    expect(code == 2, "a post to a name two users hold reached %d clients: %r" % (code, err))
    for r in (mine, theirs):
        world.stop(r)
        expect("received Ping" in r.stdout.read(), "a holder of the name missed the message")
    expect(world.stop(hub) == 0, "hubsvc did not stop cleanly")
    if not log.prefix:
        print("note: unshare(1) is not usable here, the system log was not checked")
        return
    notices = [(p, t) for p, t in log.lines() if "registered the name" in t]
    expect(len(notices) == 1 and notices[0][0] == NOTICE, "notices %r" % notices)
    expect(notices[0][1].startswith("a client of uid %d (pid %d) registered the name \"grp\", "
                                    "which a client of uid 0 holds: both receive the messages "
                                    "sent to it" % (other, theirs.pid)), "notice %r" % notices[0][1])


if __name__ == "__main__":
    harness.skip_unless_root("the shared names test")
    sys.exit(harness.run_in_world(body, sys.argv[1]))
