#!/usr/bin/env python3
"""Times the engine road beside the independent programs of its field, on
the same inputs in one run, and prints one table of ratios:

  1. text of every drawing in vsd/ through the extraction interface
     (build/bin/vsd-extract) against vsd2text (libvisio-tools): whole-process
     wall time, median of 5 per file, summed; and the engine's own time per
     MB of "VisioDocument" stream (build/bin/visio_text_bench, in process);
  2. charset conversion MB/s against ICU ucnv_convert and glibc iconv
     (build/bin/charset_bench, in one process);
  3. detection files/s over detect/ (build/bin/probelin-scan) against
     `file -b -f` (libmagic), median of 5;
  4. RAR text gathering over rar/ through the extraction interface (every
     member's text in one output, flag word B 500) against `bsdtar -xOf`,
     whole-process wall time, median of 5 per archive (the two run in
     turn), over the RAR 1.5-4 archives that bsdtar reads without error;
  5. Quarnel's file, memory and charset streams MB/s against std::ifstream,
     std::ofstream, std::stringstream, std::string::find, one direct
     conversion session and glibc iconv (build/bin/quarnel_stream_bench),
     median of 5 runs taken in a random order across the cases;
  6. Quarnel's gzip streams and zip reader MB/s of uncompressed bytes against
     zlib's gzread and gzwrite and libarchive (build/bin/quarnel_archive_bench:
     the zips of detect/ and a generated 200 MB zip of 2,000 entries), median
     of 5;
  7. Quarnel's spreadsheet number formats, values per second, against GOffice
     (build/bin/numfmt_bench, built where scripts/install-deps --peers
     installed GOffice), median of 5 runs taken in a random order;
  8. Quarnel's own XML pull parser (next and nextToken) MB/s against
     libxml2's reader and expat on two generated 64 MB documents and their
     UTF-16LE twins, a Shift_JIS document (libxml2 only), a document with an
     internal subset and many references, a generated 50 MB data feed, and
     the conformance suite's pr-xml in UTF-8 and UTF-16 with its DTD, median
     of 5 (build/bin/xml_bench);
  9. Office package detection files/s over the Office packages of detect/
     (build/bin/ooxml_detect, the path form of detectOOXDocument) against
     `file -b -f` on the same list, median of 5;
  10. Quarnel's XML documents loaded into a tree and saved in memory as UTF-8
     and Shift_JIS, MB/s of the source document, against libxml2's
     xmlReadMemory and xmlDocDumpMemoryEnc on the same two documents and the
     suite's japanese/pr-xml-utf-8.xml, median of 5 (build/bin/xml_bench).

A ratio above 1 means the engine is faster. Parts whose program is not built
yet are reported as pending.

  bench/compare_peers.py [--only=part,...] [build folder]        (default: build)

--only runs the named parts alone (visio, charsets, detection, rar, streams,
archives, number_formats, xml, xml_documents, compound_files,
office_packages), in the order above.
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ONLY = next((a.split("=", 1)[1].split(",") for a in sys.argv[1:] if a.startswith("--only=")), None)
ARGS = [a for a in sys.argv[1:] if not a.startswith("--only=")]
BUILD = os.path.abspath(ARGS[0] if ARGS else os.path.join(ROOT, "build"))
DATA = os.environ.get("TESTDATA_DIR") or os.path.join(ROOT, "..", "shared", "testdata")
RUNS = 5


def tool(name):
    path = os.path.join(BUILD, "bin", name)
    return path if os.access(path, os.X_OK) else None


ENGINE_ENV = dict(os.environ)  # TMPDIR: a private folder with the build's etc/


def wall(argv, stdout=subprocess.DEVNULL):
    start = time.perf_counter()
    subprocess.run(argv, stdout=stdout, stderr=subprocess.DEVNULL, check=False, env=ENGINE_ENV)
    return time.perf_counter() - start


def median_wall(argv):
    return statistics.median(wall(argv) for _ in range(RUNS))


def median_walls(ours, peer, runs=RUNS):
    """Median wall times of two commands run in turn, so that a change in
    the machine's load falls on both alike."""
    times = [(wall(ours), wall(peer)) for _ in range(runs)]
    return statistics.median(t[0] for t in times), statistics.median(t[1] for t in times)


def files(sub, suffixes=None):
    folder = os.path.join(DATA, sub)
    if not os.path.isdir(folder):
        return []
    names = sorted(n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n)) and n != "INDEX.tsv")
    if suffixes:
        names = [n for n in names if n.lower().endswith(suffixes)]
    return [os.path.join(folder, n) for n in names]


def row(rows, what, ours, peer, peer_name, unit, ratio):
    rows.append((what, ours, peer, peer_name, unit, ratio))


def visio(rows, scratch):
    extract = tool("vsd-extract")
    drawings = files("vsd", (".vsd",))
    if not extract or not shutil.which("vsd2text") or not drawings:
        rows.append(("Visio text, whole process", None, None, "vsd2text", "s", None))
        return
    out = os.path.join(scratch, "out.txt")
    ours = peer = 0.0
    for d in drawings:
        ours += median_wall([extract, d, out])
        peer += median_wall(["vsd2text", d])
    row(rows, "Visio text, %d drawings, whole process" % len(drawings), ours, peer, "vsd2text", "s", peer / ours)
    bench = tool("visio_text_bench")
    if bench:
        result = json.loads(subprocess.run([bench, "--benchmark_format=json"], capture_output=True, text=True,
                                           check=True).stdout)
        for b in result["benchmarks"]:
            if "bytes_per_second" in b:
                mb = b["bytes_per_second"] / 1e6
                rows.append(("Visio text in process (engine started once)", mb, None, "-", "MB/s of stream", None))


def speeds(bench, counter="bytes_per_second", scale=1e6, repetitions=0, cases=None, interleave=False):
    """MB/s (or another counter over scale) of a benchmark whose cases are
    named <program>/<measure>, by measure and then by program; with
    repetitions, the median of that many runs of each case; with cases,
    only the cases that regular expression finds; with interleave, the
    runs of all cases in a random order, so that a change in the machine's
    load falls on a case and its peer alike."""
    args = [bench, "--benchmark_format=json", "--benchmark_min_time=0.3"]
    if cases:
        args.append("--benchmark_filter=" + cases)
    if repetitions:
        args += ["--benchmark_repetitions=%d" % repetitions, "--benchmark_report_aggregates_only=true"]
    if interleave:
        args.append("--benchmark_enable_random_interleaving=true")
    result = json.loads(subprocess.run(args, capture_output=True, text=True, check=True).stdout)
    speed = {}
    # Interleaved runs report in the order they ran: the cases' own order.
    for b in sorted(result["benchmarks"], key=lambda b: b.get("family_index", 0)):
        if repetitions and b.get("aggregate_name") != "median":
            continue
        who, measure = b.get("run_name", b["name"]).split("/", 1)
        speed.setdefault(measure, {})[who] = b[counter] / scale
    return speed


def charsets(rows):
    bench = tool("charset_bench")
    if not bench:
        rows.append(("charset conversion", None, None, "ICU / iconv", "MB/s", None))
        return
    for direction, s in speeds(bench).items():
        # A peer without the charset has no column (ICU lacks the 2004 forms).
        for who, name in (("icu", "ICU"), ("iconv", "iconv")):
            if who in s:
                row(rows, "charset %s" % direction, s["engine"], s[who], name, "MB/s", s["engine"] / s[who])


def beside_file(rows, scratch, what, program, samples, label):
    # Whole-process files/s of a program that reads a list file, beside
    # `file -b -f` on the same list.
    if not program or not shutil.which("file") or not samples:
        rows.append((what, None, None, "file", "files/s", None))
        return
    listing = os.path.join(scratch, what.replace(" ", "-") + ".list")
    with open(listing, "w") as f:
        f.write("\n".join(samples) + "\n")
    wall([program, listing])  # warm the cache
    ours = len(samples) / median_wall([program, listing])
    peer = len(samples) / median_wall(["file", "-b", "-f", listing])
    row(rows, label % len(samples), ours, peer, "file -b", "files/s", ours / peer)


def detection(rows, scratch):
    beside_file(rows, scratch, "detection", tool("probelin-scan"), files("detect"), "detection, %d files of detect/")


def rar(rows, scratch):
    extract = tool("vsd-extract")
    # The interface routes RAR 1.5-4 archives (RAR 5 is not detected).
    def rar4(path):
        with open(path, "rb") as f:
            return f.read(7) == b"Rar!\x1a\x07\x00"
    archives = [a for a in files("rar", (".rar",)) if ".part" not in os.path.basename(a).lower() and rar4(a)]
    if not extract or not tool("libvombril.so") or not shutil.which("bsdtar") or not archives:
        rows.append(("RAR text gathering", None, None, "bsdtar -xOf", "s", None))
        return
    out = os.path.join(scratch, "rar.txt")
    ours = peer = 0.0
    timed = 0
    for a in archives:
        # Only archives bsdtar reads whole: on some damaged ones it fails,
        # on two it loops without end.
        start = time.perf_counter()
        try:
            done = subprocess.run(["bsdtar", "-xOf", a], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=20, check=False)
        except subprocess.TimeoutExpired:
            continue
        if done.returncode != 0:
            continue
        timed += 1
        # An archive of a second or more weighs most in the sum, and its
        # time swings with the machine's memory (one 125-byte archive makes
        # libarchive fill 1 GB in either program): three times the pairs.
        runs = RUNS * 3 if time.perf_counter() - start >= 1 else RUNS
        engine, bsdtar = median_walls([extract, a, out, "UTF-8", "500"], ["bsdtar", "-xOf", a], runs)
        ours += engine
        peer += bsdtar
    row(rows, "RAR text, %d archives bsdtar reads, whole process" % timed, ours, peer, "bsdtar -xOf", "s",
        peer / ours)


def quarnel_pairs(rows, program, what, peers, repetitions=0, interleave=False):
    bench = tool(program)
    if not bench:
        rows.append(("Quarnel %s" % what, None, None, peers, "MB/s", None))
        return
    for measure, s in speeds(bench, repetitions=repetitions, interleave=interleave).items():
        for who, mb in s.items():
            if who != "quarnel" and "quarnel" in s:
                row(rows, "Quarnel %s %s" % (what, measure), s["quarnel"], mb, who, "MB/s", s["quarnel"] / mb)


def streams(rows):
    quarnel_pairs(rows, "quarnel_stream_bench", "stream", "std streams / iconv", repetitions=RUNS, interleave=True)


def archives(rows):
    quarnel_pairs(rows, "quarnel_archive_bench", "archive", "zlib / libarchive", repetitions=RUNS)


def number_formats(rows):
    bench = tool("numfmt_bench")
    if not bench:
        rows.append(("number formats", None, None, "GOffice", "M values/s", None))
        return
    for measure, s in speeds(bench, "items_per_second", repetitions=RUNS, interleave=True).items():
        for who in ("engine", "engine parsed once"):
            if who in s and "goffice" in s:
                row(rows, "number formats, %s (%s)" % (measure, who), s[who], s["goffice"], "GOffice",
                    "M values/s", s[who] / s["goffice"])


def xml(rows):
    """The own XML parser's next and nextToken beside libxml2's reader and
    expat: median MB/s of five runs over each generated 64 MB document."""
    bench = tool("xml_bench")
    if not bench:
        rows.append(("XML pull parsing", None, None, "libxml2 reader / expat", "MB/s", None))
        return
    speed = speeds(bench, repetitions=5, cases="next|reader|^expat")
    for measure, s in speed.items():
        for ours in ("quarnel next", "quarnel nextToken"):
            for peer in ("libxml2 reader", "expat"):
                if ours in s and peer in s:
                    row(rows, "XML %s, %s" % (measure, ours.split()[1]), s[ours], s[peer], peer, "MB/s",
                        s[ours] / s[peer])


def xml_documents(rows):
    """Documents loaded into a tree and saved in memory (UTF-8, Shift_JIS):
    ZelDocument beside libxml2's xmlReadMemory and xmlDocDumpMemoryEnc,
    median MB/s of five runs over the two generated documents and the
    suite's japanese/pr-xml-utf-8.xml."""
    bench = tool("xml_bench")
    if not bench:
        rows.append(("XML documents", None, None, "libxml2", "MB/s", None))
        return
    speed = speeds(bench, repetitions=5, cases="load|save")
    for document, s in speed.items():
        for step in ("load", "save UTF-8", "save SHIFT_JIS"):
            ours, peer = "quarnel " + step, "libxml2 " + step
            if ours in s and peer in s:
                row(rows, "XML document %s, %s" % (step, document), s[ours], s[peer], "libxml2", "MB/s",
                    s[ours] / s[peer])


def compound_files(rows):
    # Every stream of ole/ and vsd/ read by Quarnel's reader, Dalvex's and
    # olefile in one run of bench/compare_compound_files.sh.
    if not (tool("quarnel_ole_dump") and tool("compound_file_dump") and os.path.isdir(os.path.join(DATA, "ole"))):
        rows.append(("Quarnel compound files", None, None, "Dalvex / olefile", "MB/s", None))
        return
    out = subprocess.run([os.path.join(ROOT, "bench", "compare_compound_files.sh"), BUILD, "3", "5"], check=True,
                         capture_output=True, text=True).stdout
    line = next(l for l in out.splitlines() if l.startswith("MB/s:")).split()
    speed = dict(zip(line[1::2], map(float, line[2::2])))
    for who, name in (("dalvex", "Dalvex reader"), ("olefile", "olefile")):
        row(rows, "Quarnel compound files, every stream of ole/ and vsd/", speed["quarnel"], speed[who], name, "MB/s",
            speed["quarnel"] / speed[who])


OFFICE_SUFFIXES = (".docx", ".docm", ".dotx", ".dotm", ".xlsx", ".xlsm", ".xltx", ".xltm", ".xlsb", ".pptx",
                   ".pptm", ".ppsx", ".ppsm", ".potx", ".potm", ".thmx")


def office_packages(rows, scratch):
    beside_file(rows, scratch, "Office package detection", tool("ooxml_detect"), files("detect", OFFICE_SUFFIXES),
                "Office package detection, %d packages of detect/")


def main():
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    rows = []
    with tempfile.TemporaryDirectory(prefix="compare_peers.") as scratch:
        shutil.copytree(os.path.join(BUILD, "etc"), os.path.join(scratch, "etc"))
        ENGINE_ENV["TMPDIR"] = scratch
        parts = [("visio", lambda: visio(rows, scratch)), ("charsets", lambda: charsets(rows)),
                 ("detection", lambda: detection(rows, scratch)), ("rar", lambda: rar(rows, scratch)),
                 ("streams", lambda: streams(rows)), ("archives", lambda: archives(rows)),
                 ("number_formats", lambda: number_formats(rows)), ("xml", lambda: xml(rows)),
                 ("xml_documents", lambda: xml_documents(rows)), ("compound_files", lambda: compound_files(rows)),
                 ("office_packages", lambda: office_packages(rows, scratch))]
        for name, part in parts:
            if ONLY is None or name in ONLY:
                part()
    print("Machine: %s, %d cores; median of %d runs; ratio > 1: the engine is faster" % (cpu, os.cpu_count(), RUNS))
    print()
    print("| measure | engine | peer | peer program | unit | ratio |")
    print("|---|---:|---:|---|---|---:|")
    for what, ours, peer, name, unit, ratio in rows:
        if ours is None:
            print("| %s | pending | | %s | %s | |" % (what, name, unit))
            continue
        print("| %s | %.3g | %s | %s | %s | %s |" % (what, ours, "" if peer is None else "%.3g" % peer, name, unit,
                                                   "" if ratio is None else "%.2f" % ratio))


if __name__ == "__main__":
    main()
