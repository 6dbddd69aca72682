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


def h(text):
    return text.encode().hex()


# Body signatures: each offset form, wildcards, gaps, alternatives and the PE target; and those
# this engine skips (a PE entry point offset, a level range that excludes it, an ignored name).
NDB = "".join(f"{line}\n" for line in [
    f"N.Any:0:*:{h('NDBANYMARK')}",
    f"N.Wild:0:*:{h('WILD')}??4?{h('QQ')}{{1-3}}{h('RR')}*{h('TAIL')}(bb|cc){h('END')}",
    f"N.At:0:16:{h('ATMARK01')}",
    f"N.Range:0:16,8:{h('RANGEMK1')}",
    f"N.Eof:0:EOF-12:{h('EOFMARK1')}",
    f"N.AtVar:0:8:{h('VAR1')}{{1-5}}{h('VAR2')}",
    f"N.Pe:1:*:{h('PEMARKER')}",
    f"N.Ep:1:EP+0:{h('PEMARKER')}",
    f"N.Old:0:*:{h('NDBANYMARK')}:1:20",
    f"N.Ignored:0:*:{h('IGNMARK1')}",
])

# Logical signatures: &, |, counts, groups, modifiers, offsets, target block keys; and skips.
LDB = "".join(f"{line}\n" for line in [
    f"L.And;Target:0;0&1;{h('ANDPART1')};{h('ANDPART2')}",
    f"L.Or;Target:0;(0|1);{h('ORPART01')};{h('ORPART02')}",
    f"L.Count;Target:0;0>2;{h('CNTMARK ')}",
    f"L.Exact;Target:0;0=2;{h('CNTMARK ')}",
    f"L.Overlap;Target:0;0=3;{h('ABAB')}",
    f"L.Less;Target:0;0&(1<1);{h('LESSMRK1')};{h('LESSMRK2')}",
    f"L.Sum;Target:0;(0|1)>1;{h('SUMMRK01')};{h('SUMMRK02')}",
    f"L.Nocase;Target:0;0;{h('NoCaseMark')}::i",
    f"L.Wide;Target:0;0;{h('WIDEMARK')}::w",
    f"L.Both;Target:0;0;{h('BOTHMARK')}::wa",
    f"L.Full;Target:0;0;{h('FULLWORD')}::f",
    f"L.Offsets;Target:0;0&1;0:{h('HEADMRK1')};EOF-8:{h('TAILMRK1')}",
    f"L.Size;Engine:51-255,Target:0,FileSize:10-40;0;{h('SIZEMRK1')}",
    f"L.Pe;Target:1;0;{h('LPEMARK1')}",
    f"L.Zip;Target:0;0&1;{h('ZIPMARK1')};{h('ZIPMARK2')}",
    f"L.Engine;Engine:51-255,Target:0;0;{h('ENGMARK1')}",
    f"L.New;Engine:250-255,Target:0;0;{h('NDBANYMARK')}",
    f"L.Pcre;Target:0;0&1;{h('PCREMRK1')};0/PCRE[0-9]/",
    f"L.Ignored;Target:0;0;{h('IGNMARK1')}",
])

SKIPPED = {"Test.Ignored", "N.Ep", "N.Old", "N.Ignored", "L.New", "L.Pcre", "L.Ignored"}


def plant_signatures(plant):
    """Files that hold (or nearly hold) each body and logical signature."""
    pad = lambda n: b"." * n
    plant("ndb-any.bin", b"xxxx NDBANYMARK yyyy")
    wild = b"pre WILD\x11\x4cQQabRRxxxxxxTAIL\xbbEND post"
    plant("ndb-wild.bin", wild)
    plant("ndb-wild-miss.bin", wild.replace(b"\x4c", b"\x5c"))
    plant("ndb-at.bin", pad(16) + b"ATMARK01" + pad(8))
    plant("ndb-at-miss.bin", pad(17) + b"ATMARK01" + pad(8))
    plant("ndb-range.bin", pad(20) + b"RANGEMK1" + pad(8))
    plant("ndb-range-miss.bin", pad(25) + b"RANGEMK1" + pad(8))
    plant("ndb-eof.bin", pad(30) + b"EOFMARK1abcd")
    plant("ndb-eof-miss.bin", pad(30) + b"EOFMARK1abc")
    plant("ndb-atvar.bin", pad(8) + b"VAR1xyzVAR2" + pad(8))
    plant("ndb-atvar-miss.bin", pad(9) + b"VAR1xyzVAR2" + pad(8))
    plant("pe-like.bin", b"MZ" + pad(60) + b"PEMARKER LPEMARK1" + pad(20))
    plant("not-pe.bin", b"ZM" + pad(60) + b"PEMARKER LPEMARK1" + pad(20))
    plant("ignored-sigs.bin", b"some IGNMARK1 here")
    plant("ldb-and.bin", b"ANDPART1 then ANDPART2")
    plant("ldb-and-miss.bin", b"ANDPART1 only")
    plant("ldb-or.bin", b"just ORPART02")
    plant("ldb-count3.bin", b"CNTMARK CNTMARK CNTMARK ")
    plant("ldb-count2.bin", b"CNTMARK CNTMARK ")
    plant("ldb-overlap.bin", b"xxABABABABy")
    plant("ldb-less.bin", b"LESSMRK1 alone")
    plant("ldb-less-miss.bin", b"LESSMRK1 and LESSMRK2")
    plant("ldb-sum.bin", b"SUMMRK01 and SUMMRK02")
    plant("ldb-sum-miss.bin", b"SUMMRK01 only")
    plant("ldb-nocase.bin", b"a NOCASEMARK here")
    plant("ldb-wide.bin", "a WIDEMARK here".encode("utf-16-le"))
    plant("ldb-both-ascii.bin", b"a BOTHMARK here")
    plant("ldb-both-wide.bin", "a BOTHMARK here".encode("utf-16-le"))
    plant("ldb-full.bin", b"one FULLWORD. two")
    plant("ldb-full-miss.bin", b"oneFULLWORDtwo")
    plant("ldb-offsets.bin", b"HEADMRK1" + pad(20) + b"TAILMRK1")
    plant("ldb-offsets-miss.bin", b"HEADMRK1" + pad(20) + b"TAILMRK1.")
    plant("ldb-size.bin", b"a SIZEMRK1 b ENGMARK1")
    plant("ldb-size-miss.bin", b"a SIZEMRK1 b" + pad(40))


EXPECTED = {
    "ndb-any.bin": {"N.Any"}, "ndb-wild.bin": {"N.Wild"}, "ndb-at.bin": {"N.At"},
    "ndb-range.bin": {"N.Range"}, "ndb-eof.bin": {"N.Eof"}, "ndb-atvar.bin": {"N.AtVar"},
    "pe-like.bin": {"N.Pe", "L.Pe"}, "ldb-and.bin": {"L.And"}, "ldb-or.bin": {"L.Or"},
    "ldb-count3.bin": {"L.Count"}, "ldb-count2.bin": {"L.Exact"},
    "ldb-overlap.bin": {"L.Overlap"}, "ldb-less.bin": {"L.Less"}, "ldb-sum.bin": {"L.Sum"},
    "ldb-nocase.bin": {"L.Nocase"}, "ldb-wide.bin": {"L.Wide"}, "ldb-both-ascii.bin": {"L.Both"},
    "ldb-both-wide.bin": {"L.Both"}, "ldb-full.bin": {"L.Full"},
    "ldb-offsets.bin": {"L.Offsets"}, "ldb-size.bin": {"L.Size", "L.Engine"},
}


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
        z.writestr("inner-logical.bin", b"zip member ZIPMARK1 ZIPMARK2")
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
    write("t.ign2", "Test.Ignored\nN.Ignored\nL.Ignored\n")
    plant_signatures(plant)
    write("t.ndb", NDB)
    write("t.ldb", LDB)
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
    skipped = {m.group(1) for m in re.finditer(r": signature (\S+) skipped: ", c.stderr)}
    if skipped != SKIPPED or "t.hdb: 3 signatures compiled, 1 skipped" not in c.stdout:
        print("unexpected summary:\n" + c.stdout + c.stderr)
        return 1

    f = subprocess.run([os.path.join(bin_dir, "ferrox64"), "--nomem", "--nombr", "--noboot",
                        f"--deflocation={out}/", corpus], capture_output=True, text=True)
    ferrox = {}
    for m in re.finditer(r"^Found:\s+(\S+)\s.* named (\S+)$", f.stdout, re.M):
        top = os.path.basename(m.group(1).split(">")[0])
        ferrox.setdefault(top, set()).add(m.group(2))
    cs = subprocess.run(["clamscan", "--no-summary", "--allmatch", "-r", f"--database={clam_db}",
                         corpus],
                        capture_output=True, text=True)
    clam = {}
    for m in re.finditer(r"^(\S+): (\S+) FOUND$", cs.stdout, re.M):
        name = m.group(2).removesuffix(".UNOFFICIAL")
        if name in skipped:
            continue  # what qvxdef skipped is not compared
        clam.setdefault(os.path.basename(m.group(1)), set()).add(name)
    expected = {"by-md5.bin": {"Test.Md5"}, "by-sha1.bin": {"Test.Sha1"},
                "by-sha256.bin": {"Test.Sha256"}, "any-size.bin": {"Test.AnySize"},
                "in-container.bin": {"Test.Container"},
                "archive.zip": {"Test.Member", "L.Zip"}}
    expected.update(EXPECTED)
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
