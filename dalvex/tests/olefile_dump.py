#!/usr/bin/python3
"""Lists what python3-olefile reads from compound files, for the corpus test
and the timed comparison of the compound-file reader.

For each file given: a line "FILE<TAB>name<TAB>OK" or
"FILE<TAB>name<TAB>REFUSED<TAB>reason", then for each stream
"STREAM<TAB>path<TAB>size<TAB>sha256" (or "ERROR:reason" in place of the
hash when olefile cannot read the stream). A path is its names from below
the root, each as the hex of its UTF-8 bytes, joined by "/".
With --read-only the hashes are left out (the stream is still read whole);
with --head the hex of the stream's first 32 bytes stands in their place.
"""
import hashlib
import os
import sys

import olefile


def hex_path(names):
    return "/".join(name.encode("utf-8", "surrogatepass").hex() for name in names)


def dump(path, out, hashes):
    name = os.path.basename(path)
    try:
        ole = olefile.OleFileIO(path)
    except Exception as error:  # olefile raises several kinds for bad files
        out.write("FILE\t%s\tREFUSED\t%s\n" % (name, str(error).replace("\t", " ").replace("\n", " ")))
        return
    out.write("FILE\t%s\tOK\n" % name)
    for entry in ole.listdir(streams=True, storages=False):
        size = ole.get_size(entry)
        try:
            data = ole.openstream(entry).read()
            if hashes == "head":
                digest = data[:32].hex()
            else:
                digest = hashlib.sha256(data).hexdigest() if hashes else "-"
        except Exception as error:
            digest = "ERROR:" + str(error).replace("\t", " ").replace("\n", " ")
        out.write("STREAM\t%s\t%d\t%s\n" % (hex_path(entry), size, digest))
    ole.close()


def main(argv):
    hashes = True
    if argv and argv[0] == "--read-only":
        hashes = False
        argv = argv[1:]
    elif argv and argv[0] == "--head":
        hashes = "head"
        argv = argv[1:]
    for path in argv:
        dump(path, sys.stdout, hashes)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
