#!/usr/bin/python3
"""Lists the document properties python3-olefile reads from compound files,
for the property corpus test.

For each file given: "FILE<TAB>name<TAB>codepage" (codepage 0 when the set
states none, "REFUSED" when olefile cannot open the file), then one line per
text property present: "PROP<TAB>field<TAB>raw-hex<TAB>wide" where raw-hex is
the stored bytes (8-bit texts) or the UTF-16LE bytes (wide texts), and wide
is 1 for a wide text. Fields: title subject author keywords comments
category manager company.
"""
import os
import sys

import olefile

FIELDS = ["title", "subject", "author", "keywords", "comments", "category", "manager", "company"]


def main(paths):
    out = sys.stdout
    for path in paths:
        name = os.path.basename(path)
        try:
            ole = olefile.OleFileIO(path)
            meta = ole.get_metadata()
        except Exception:  # olefile raises several kinds for bad files
            out.write("FILE\t%s\tREFUSED\n" % name)
            continue
        codepage = meta.codepage or 0
        out.write("FILE\t%s\t%d\n" % (name, codepage & 0xFFFF))
        for field in FIELDS:
            value = getattr(meta, field, None)
            if value is None:
                continue
            if isinstance(value, bytes):
                out.write("PROP\t%s\t%s\t0\n" % (field, value.hex()))
            else:
                out.write("PROP\t%s\t%s\t1\n" % (field, value.encode("utf-16-le", "surrogatepass").hex()))
        ole.close()


if __name__ == "__main__":
    main(sys.argv[1:])
