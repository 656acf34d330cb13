#!/usr/bin/env python3
"""Holds Pkzip25 against bsdtar on libarchive's own RAR and 7z test archives, real and
malformed (uuencoded, from libarchive's test suite in Debian's source package).

Debian's bsdtar is the same libarchive, so it is the reference: where it extracts an
archive, ours must give the same files (a name ours refuses, such as a link, aside); where
it fails, ours must fail too and write nothing. One part of a multi-volume set is the one
difference: bsdtar unpacks what that part holds, ours refuses it and writes nothing.

    corpus_test.py CORPUS_DIR PKZIP25 [BSDTAR]

Exit code 0 when every archive agrees, 1 otherwise.
"""
import binascii
import hashlib
import os
import re
import subprocess
import sys
import tempfile


def uudecode(path):
    out = bytearray()
    with open(path, "rb") as f:
        lines = iter(f.read().splitlines())
        for line in lines:
            if line.startswith(b"begin "):
                break
        for line in lines:
            if line.strip() in (b"end", b"`", b""):
                if line.strip() == b"end":
                    break
                continue
            try:
                out += binascii.a2b_uu(line)
            except binascii.Error:  # some writers pad the last line oddly
                n = (((line[0] - 32) & 63) * 4 + 5) // 3
                out += binascii.a2b_uu(line[:n])
    return bytes(out)


def files_under(root):
    """Regular files (links are never files here) by path relative to root, with a digest
    of their bytes: some archives hold files of gigabytes."""
    found = {}
    for dirpath, _, names in os.walk(root):
        for n in names:
            p = os.path.join(dirpath, n)
            if os.path.isfile(p) and not os.path.islink(p):
                h = hashlib.sha256()
                with open(p, "rb") as f:
                    for block in iter(lambda: f.read(1 << 20), b""):
                        h.update(block)
                found[os.path.relpath(p, root)] = h.digest()
    return found


def run(cmd, timeout):
    """Exit code (None when it ran past timeout) and the head of stdout and stderr. Output
    goes through files: bsdtar loops on a few damaged archives, warning all the while."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            code = subprocess.run(cmd, stdout=out, stderr=err, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            code = None
        heads = []
        for f in (out, err):
            f.seek(0)
            heads.append(f.read(1 << 20).decode("utf-8", "replace"))
        return code, heads[0], heads[1]


def main(argv):
    corpus, pkzip = argv[1], argv[2]
    bsdtar = argv[3] if len(argv) > 3 else "bsdtar"
    failures = []
    # The suite's few ZIP archives among them are the ZIP reader's, which reads no LZMA.
    names = sorted(n for n in os.listdir(corpus) if n.endswith(".uu") and ".zip." not in n)
    agreed_ok = agreed_failed = parts = 0
    for name in names:
        with tempfile.TemporaryDirectory() as work:
            archive = os.path.join(work, name[:-3])
            with open(archive, "wb") as f:
                f.write(uudecode(os.path.join(corpus, name)))
            theirs, ours = os.path.join(work, "bsdtar"), os.path.join(work, "ours")
            os.mkdir(theirs)
            ref, _, ref_err = run([bsdtar, "-x", "-f", archive, "-C", theirs], 10)
            code, report, err = run([pkzip, "-extract", "-directories", "-all-or-nothing", archive, ours + "/"], 120)
            got = files_under(ours) if os.path.isdir(ours) else {}
            if code is None or code < 0:
                failures.append("%s: ours %s" % (name, "ran for more than 120 s" if code is None else
                                                 "was killed by signal %d: %s" % (-code, err.strip()[-300:])))
                continue
            if ref != 0:
                if code == 0 or got:
                    failures.append("%s: bsdtar fails (%s), ours gives exit %d and %d files" %
                                    (name, "time-out" if ref is None else ref_err.strip()[:120], code, len(got)))
                else:
                    agreed_failed += 1
                continue
            if code == 3 and "multi-volume" in err and not got:
                # bsdtar unpacks what one part of a set holds, cut files too; ours refuses
                # the part and asks for the whole set, on purpose.
                parts += 1
                continue
            want = files_under(theirs)
            refused = {m.group(1) for m in re.finditer(r"^Refused: (.*) \(.*\)$", report, re.M)}
            problems = []
            if code not in (0, 6, 9):
                problems.append("exit %d: %s" % (code, err.strip()[:200]))
            for rel, digest in want.items():
                if rel not in got and rel not in refused:
                    problems.append("missing " + rel)
                elif rel in got and got[rel] != digest:
                    problems.append("differs " + rel)
            for rel in got:
                if rel not in want:
                    problems.append("extra " + rel)
            if problems:
                failures.append("%s: %s" % (name, "; ".join(problems[:5])))
            else:
                agreed_ok += 1
    print("corpus: %d archives, %d extracted alike, %d refused by both, %d refused by ours as one part of several"
          % (len(names), agreed_ok, agreed_failed, parts))
    for f in failures:
        print("DIFFERS " + f)
    return 1 if failures or not names else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
