#!/usr/bin/python3
"""Summary properties and hyperlinks of compound files as python3-olefile
reads them, for the property-set corpus test.

For each file given, one line:
  "FILE<TAB>name<TAB>REFUSED" when olefile cannot open it, otherwise
  "FILE<TAB>name<TAB>OK<TAB>code page<TAB>title<TAB>subject<TAB>author<TAB>keywords<TAB>links"
The code page is the low 16 bits of property 1 ("-" when missing). Each text
is "-" when missing, "W" when stored as a UTF-16 string, "?" when Python has
no codec for the code page, else the hex of its UTF-8 form after decoding
olefile's bytes with the code page (cp932 without one). links is "-" when the
document summary holds no "_PID_HLINKS" blob, else the hyperlink texts
decoded from that blob (as hex of UTF-8, joined by ","), read from the
stream bytes olefile gives.
"""
import codecs
import os
import struct
import sys

import olefile

SUMMARY = "\x05SummaryInformation"
DOCUMENT = "\x05DocumentSummaryInformation"


def codec_for(code_page):
    special = {65001: "utf-8", 1200: "utf-16-le", 10000: "mac_roman"}
    name = special.get(code_page, "cp%d" % code_page)
    try:
        codecs.lookup(name)
        return name
    except LookupError:
        return None


def text_field(props, pid, codec):
    if pid not in props:
        return "-"
    value = props[pid]
    if isinstance(value, str):
        return "W"
    if not isinstance(value, bytes):
        return "-"
    if codec is None:
        return "?"
    return value.decode(codec, "replace").encode("utf-8").hex()


def hyperlinks(data):
    """The link texts of the _PID_HLINKS blob, or None without one."""
    def u32(at):
        return struct.unpack_from("<I", data, at)[0]

    try:
        sections = u32(24)
        for k in range(sections):
            start = u32(28 + 20 * k + 16)
            count = u32(start + 4)
            pairs = [(u32(start + 8 + 8 * i), u32(start + 12 + 8 * i)) for i in range(count)]
            names = {}
            for pid, offset in pairs:
                if pid != 0:
                    continue
                at = start + offset
                entries = u32(at)
                at += 4
                for _ in range(entries):
                    eid, length = u32(at), u32(at + 4)
                    names[eid] = data[at + 8:at + 8 + length].split(b"\0")[0]
                    at += 8 + length
            for pid, offset in pairs:
                if pid <= 1 or names.get(pid) != b"_PID_HLINKS" or u32(start + offset) != 0x41:
                    continue
                at = start + offset + 8
                items = u32(at)
                at += 4
                links = []
                for _ in range(items):
                    kind = u32(at)
                    at += 4
                    if kind == 3:
                        at += 4
                    elif kind == 0x1F:
                        units = u32(at)
                        units += units & 1
                        text = data[at + 4:at + 4 + 2 * units].decode("utf-16-le", "replace").split("\0")[0]
                        at += 4 + 2 * units
                        if text:
                            links.append(text)
                return links
    except struct.error:
        return None
    return None


def main(paths):
    for path in paths:
        name = os.path.basename(path)
        try:
            ole = olefile.OleFileIO(path)
        except Exception:
            print("FILE\t%s\tREFUSED" % name)
            continue
        fields = []
        props = {}
        if ole.exists(SUMMARY):
            try:
                props = ole.getproperties(SUMMARY, convert_time=False)
            except Exception:
                props = {}
        code_page = props.get(1)
        if isinstance(code_page, int):
            code_page &= 0xFFFF
            fields.append(str(code_page))
        else:
            code_page = None
            fields.append("-")
        codec = codec_for(code_page if code_page is not None else 932)
        for pid in (2, 3, 4, 5):
            fields.append(text_field(props, pid, codec))
        links = None
        if ole.exists(DOCUMENT):
            try:
                links = hyperlinks(ole.openstream(DOCUMENT).read())
            except Exception:
                links = None
        fields.append("-" if links is None else ",".join(t.encode("utf-8").hex() for t in links))
        print("FILE\t%s\tOK\t%s" % (name, "\t".join(fields)))
        ole.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
