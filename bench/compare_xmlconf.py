#!/usr/bin/env python3
"""Scores the own XML parser on the W3C XML conformance suite beside xmllint
(libxml2) and xmlwf (expat): every test of the flattened catalogue is read by

  own      build/bin/xml-verdict FILE           (exit 0 accepted, 2 rejected)
  xmllint  xmllint --noout --nonet --loaddtd --noent FILE
           (rejected: non-zero exit, or a "namespace error" on standard
           error, which xmllint does not count as a failure)
  xmlwf    xmlwf -n -p -x FILE                  (rejected: non-zero exit)

and compared with the catalogue: not-wf should be rejected, valid and
invalid accepted, error either way. Prints per suite and test type the cases
and the verdicts agreeing with the catalogue for each reader, then the ids
where the own parser's verdict differs from both peers'.

  bench/compare_xmlconf.py [build folder]     (default: build)
"""
import collections
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
DATA = os.environ.get("TESTDATA_DIR") or os.path.join(ROOT, "..", "shared", "testdata")
SUITES = ("xmltest", "sun", "oasis", "ibm", "eduni", "japanese")
TYPES = ("valid", "invalid", "not-wf", "error")
XML_NS = "{http://www.w3.org/XML/1998/namespace}"


def cases():
    """(id, type, suite, path) of every TEST, resolved against xml:base."""
    root = os.path.join(DATA, "xml", "xmlconf")
    tree = ET.parse(os.path.join(DATA, "xml", "xmlconf-cleaned", "xmlconf-flattened.xml"))
    out = []

    def walk(node, base):
        for child in node:
            if child.tag == "TESTCASES":
                walk(child, os.path.join(base, child.get(XML_NS + "base", "")))
            elif child.tag == "TEST":
                path = os.path.normpath(os.path.join(base, child.get("URI")))
                suite = os.path.relpath(path, root).split(os.sep)[0]
                out.append((child.get("ID"), child.get("TYPE"), suite, path))
            else:
                walk(child, base)

    walk(tree.getroot(), root)
    return out


OWN_ENV = dict(os.environ)  # TMPDIR: a private folder with the build's etc/


def run(argv, namespace_errors=False, env=None):
    """'rejected', 'accepted' or 'timeout'."""
    try:
        done = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=10,
                              cwd=os.path.dirname(argv[-1]), env=env)
    except subprocess.TimeoutExpired:
        return "timeout"
    if done.returncode != 0 or (namespace_errors and b"namespace error" in done.stderr):
        return "rejected"
    return "accepted"


def verdicts(case):
    path = case[3]
    return (run([os.path.join(BUILD, "bin", "xml-verdict"), path], env=OWN_ENV),
            run(["xmllint", "--noout", "--nonet", "--loaddtd", "--noent", path], namespace_errors=True),
            run(["xmlwf", "-n", "-p", "-x", path]))


def agrees(kind, verdict):
    if kind == "not-wf":
        return verdict == "rejected"
    if kind in ("valid", "invalid"):
        return verdict == "accepted"
    return verdict != "timeout"


def main():
    if not os.access(os.path.join(BUILD, "bin", "xml-verdict"), os.X_OK):
        sys.exit(f"compare_xmlconf: no {BUILD}/bin/xml-verdict; build the default preset first")
    all_cases = cases()
    with tempfile.TemporaryDirectory(prefix="compare_xmlconf.") as scratch:
        shutil.copytree(os.path.join(BUILD, "etc"), os.path.join(scratch, "etc"))
        OWN_ENV["TMPDIR"] = scratch
        with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
            results = list(pool.map(verdicts, all_cases))
    table = collections.OrderedDict()
    lonely = collections.defaultdict(list)
    for (cid, kind, suite, _), (own, lint, wf) in zip(all_cases, results):
        row = table.setdefault((suite, kind), [0, 0, 0, 0])
        row[0] += 1
        for i, verdict in enumerate((own, lint, wf)):
            row[i + 1] += agrees(kind, verdict)
        if own != lint and own != wf:
            lonely[suite].append(f"{cid} ({kind}: own {own})")
    print("| suite | type | cases | own | xmllint | xmlwf |")
    print("|---|---|---:|---:|---:|---:|")
    totals = [0, 0, 0, 0]
    for suite in SUITES:
        for kind in TYPES:
            row = table.get((suite, kind))
            if row is None:
                continue
            totals = [a + b for a, b in zip(totals, row)]
            print(f"| {suite} | {kind} | {row[0]} | {row[1]} | {row[2]} | {row[3]} |")
    print(f"| all | all | {totals[0]} | {totals[1]} | {totals[2]} | {totals[3]} |")
    print()
    print("Where the own parser differs from both peers:")
    for suite in SUITES:
        if lonely[suite]:
            print(f"  {suite} ({len(lonely[suite])}): " + ", ".join(lonely[suite]))


if __name__ == "__main__":
    main()
