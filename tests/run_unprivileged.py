#!/usr/bin/env python3
"""Runs a test program as an unprivileged user, for the tests that root would pass without a
check (root reads and writes every file) and that therefore skip themselves when run as root.

    run_unprivileged.py PROGRAM [ARGS...]

Not root: PROGRAM runs as it is, the caller is unprivileged already. Root: PROGRAM and the
libraries it loads from outside the system's folders are copied into a fresh folder of user
nobody (so that the build tree's own permissions, such as a checkout under /root, do not matter)
and run there through `setpriv --reuid=nobody --regid=nogroup --clear-groups`, with HOME and
TMPDIR in that folder. Without setpriv or those accounts the run is skipped (exit 77) with the
reason. GoogleTest output that shows a skipped test, or no test run at all, fails: the point of
the run is that the selected tests do run.
"""

import grp
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77
USER, GROUP = "nobody", "nogroup"
SYSTEM_LIBS = ("/lib/", "/lib64/", "/usr/lib/", "/usr/lib64/", "/usr/local/lib/")


def skip(reason):
    print("skipped: " + reason)
    sys.exit(SKIPPED)


def build_libraries(program):
    """The shared libraries the program loads from outside the system's folders."""
    out = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    found = re.findall(r"=> (/\S+) \(", out)
    return [path for path in found if not path.startswith(SYSTEM_LIBS)]


def as_nobody(argv):
    if shutil.which("setpriv") is None:
        skip("setpriv (util-linux) is not installed")
    try:
        uid, gid = pwd.getpwnam(USER).pw_uid, grp.getgrnam(GROUP).gr_gid
    except KeyError:
        skip("there is no user %s or group %s" % (USER, GROUP))
    top = tempfile.mkdtemp(prefix="ferrox-unprivileged-")
    try:
        for sub in ("bin", "lib", "tmp"):
            os.mkdir(os.path.join(top, sub))
        program = os.path.join(top, "bin", os.path.basename(argv[0]))
        shutil.copy2(argv[0], program)
        for lib in build_libraries(argv[0]):
            shutil.copy2(lib, os.path.join(top, "lib"))
        for folder, _, files in os.walk(top):
            os.chown(folder, uid, gid)
            for name in files:
                os.chown(os.path.join(folder, name), uid, gid)
        env = dict(os.environ, HOME=top, TMPDIR=os.path.join(top, "tmp"),
                   LD_LIBRARY_PATH=os.path.join(top, "lib"))
        command = ["setpriv", "--reuid=" + USER, "--regid=" + GROUP, "--clear-groups", program]
        return subprocess.run(command + argv[1:], env=env, cwd=top, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace")
    finally:
        shutil.rmtree(top, ignore_errors=True)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    argv = sys.argv[1:]
    if os.geteuid() == 0:
        done = as_nobody(argv)
    else:
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              errors="replace")
    sys.stdout.write(done.stdout)
    if done.returncode != 0:
        return 1
    if "[  SKIPPED ]" in done.stdout:
        print("a test skipped although it ran as an unprivileged user")
        return 1
    if re.search(r"^\[  PASSED  \] 0 tests", done.stdout, re.M):
        print("no test matched: the names in the filter are out of date")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
