"""Plug-in `root`: the case switches users (or reads what only root may), so it runs as root and
is skipped, with the reason, anywhere else."""

import os


def skip_reason(case):
    return None if os.geteuid() == 0 else "needs root (it switches users)"
