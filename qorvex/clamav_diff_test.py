#!/usr/bin/env python3
"""Differential test: a small ClamAV database in every supported format, a corpus that plants
each signature, and the same database given to clamscan and to qvxdef + ferrox64. Every file
must be reported under the same names by both, for every signature qvxdef compiled.

    clamav_diff_test.py BIN_DIR

clamscan comes from the Debian package `clamav`, installed here when missing. All signatures
are invented: hashes of the test's own files.
"""

import gzip
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile


def ensure_clamscan():
    if shutil.which("clamscan"):
        return True
    subprocess.run(["apt-get", "install", "-y", "clamav"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return shutil.which("clamscan") is not None


def digest(kind, data):
    return hashlib.new(kind, data).hexdigest()


def container(members):
    """A container: the text header padded to 512 bytes, then a gzipped tar."""
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, text in members.items():
            info = tarfile.TarInfo(name)
            info.size = len(text)
            tar.addfile(info, io.BytesIO(text))
    archive = gzip.compress(raw.getvalue(), mtime=0)
    header = (f"ClamAV-VDB:10 Dec 2026 12-00 +0000:1:{len(members)}:90:"
              f"{hashlib.md5(archive).hexdigest()}:X:test:1796212800").encode()
    return header.ljust(512, b" ") + archive


def main():
    bin_dir = sys.argv[1]
    if not ensure_clamscan():
        print("clamscan is not available and could not be installed")
        return 77
    work = tempfile.mkdtemp(prefix="clamav-diff-")
    try:
        return run(bin_dir, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(bin_dir, work):
    corpus = os.path.join(work, "corpus")
    db = os.path.join(work, "db")
    os.makedirs(corpus)
    os.makedirs(db)
    files = {}

    def plant(name, data):
        files[name] = data
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)
        return data

    def body(tag):
        return (f"harmless test content {tag}\n" * 3).encode()

    md5_file = plant("by-md5.bin", body("md5"))
    sha1_file = plant("by-sha1.bin", body("sha1"))
    sha256_file = plant("by-sha256.bin", body("sha256"))
    any_file = plant("any-size.bin", body("any size"))
    allowed = plant("allowed.bin", body("allowed"))
    allowed_sha = plant("allowed-sha.bin", body("allowed by sha256"))
    ignored = plant("ignored.bin", body("ignored"))
    boxed = plant("in-container.bin", body("container"))
    member = body("zip member")
    zipped = io.BytesIO()
    with zipfile.ZipFile(zipped, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("inner.bin", member)
    plant("archive.zip", zipped.getvalue())
    plant("clean.bin", body("clean"))

    def line(kind, data, name, size=None):
        return f"{digest(kind, data)}:{len(data) if size is None else size}:{name}\n"

    write = lambda name, text: open(os.path.join(db, name), "w").write(text)
    write("t.hdb", line("md5", md5_file, "Test.Md5") + line("md5", allowed, "Test.Allowed") +
          line("md5", ignored, "Test.Ignored") + line("md5", member, "Test.Member"))
    write("t.hsb", line("sha1", sha1_file, "Test.Sha1") +
          line("sha256", sha256_file, "Test.Sha256") +
          line("sha256", any_file, "Test.AnySize", "*").rstrip("\n") + ":73\n" +
          line("sha256", allowed_sha, "Test.AllowedSha"))
    write("t.fp", line("md5", allowed, "allowed.bin"))
    write("t.sfp", line("sha256", allowed_sha, "allowed-sha.bin"))
    write("t.ign2", "Test.Ignored\n")
    boxed_db = line("md5", boxed, "Test.Container")
    with open(os.path.join(db, "t.cud"), "wb") as f:
        f.write(container({"boxed.hdb": boxed_db.encode()}))
    # clamscan verifies a container's digital signature, which a test cannot make: it gets the
    # container's member as a file of its own, in a folder with the other files (so the .ign2
    # list is loaded before the signatures, as for a database folder).
    clam_db = os.path.join(work, "clamdb")
    shutil.copytree(db, clam_db, ignore=shutil.ignore_patterns("*.cud"))
    with open(os.path.join(clam_db, "boxed.hdb"), "w") as f:
        f.write(boxed_db)

    out = os.path.join(work, "defs")
    os.makedirs(out)
    sources = [os.path.join(db, n) for n in sorted(os.listdir(db))]
    c = subprocess.run([os.path.join(bin_dir, "qvxdef"), "compile", "--id=202612101200",
                        f"--out-dir={out}"] + sources, capture_output=True, text=True)
    if c.returncode != 0:
        print("qvxdef compile failed:", c.stderr)
        return 1
    skipped = [l for l in c.stderr.splitlines() if not l.endswith("dropped by an .ign2 list")]
    if skipped or "t.hdb: 3 signatures compiled, 1 skipped" not in c.stdout:
        print("unexpected summary:\n" + c.stdout + c.stderr)
        return 1

    f = subprocess.run([os.path.join(bin_dir, "ferrox64"), "--nomem", "--nombr", "--noboot",
                        f"--deflocation={out}/", corpus], capture_output=True, text=True)
    ferrox = {}
    for m in re.finditer(r"^Found:\s+(\S+)\s.* named (\S+)$", f.stdout, re.M):
        top = os.path.basename(m.group(1).split(">")[0])
        ferrox.setdefault(top, set()).add(m.group(2))
    cs = subprocess.run(["clamscan", "--no-summary", "-r", f"--database={clam_db}", corpus],
                        capture_output=True, text=True)
    clam = {}
    for m in re.finditer(r"^(\S+): (\S+) FOUND$", cs.stdout, re.M):
        name = m.group(2).removesuffix(".UNOFFICIAL")
        clam.setdefault(os.path.basename(m.group(1)), set()).add(name)
    expected = {"by-md5.bin": {"Test.Md5"}, "by-sha1.bin": {"Test.Sha1"},
                "by-sha256.bin": {"Test.Sha256"}, "any-size.bin": {"Test.AnySize"},
                "in-container.bin": {"Test.Container"}, "archive.zip": {"Test.Member"}}
    ok = True
    for name in sorted(files):
        want = expected.get(name, set())
        got_f, got_c = ferrox.get(name, set()), clam.get(name, set())
        if got_f != got_c or got_f != want:
            print(f"{name}: ferrox {sorted(got_f)}, clamscan {sorted(got_c)}, "
                  f"expected {sorted(want)}")
            ok = False
    if not ok:
        print(f.stdout, cs.stdout, cs.stderr)
        return 1
    print(f"{len(files)} files: ferrox and clamscan agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
