"""Plug-in `yara`: yara itself as the oracle of a differential case. When it is missing it is
installed (the Debian package; only root can); without it the case is skipped."""

import os
import shutil
import subprocess


def have_yara():
    if shutil.which("yara"):
        return True
    if os.geteuid() == 0:
        subprocess.run(["apt-get", "install", "-y", "yara"], capture_output=True)
    return shutil.which("yara") is not None


def skip_reason(case):
    return None if have_yara() else "yara is not installed and cannot be installed here"
