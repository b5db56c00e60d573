#!/usr/bin/env python3
"""Lists the internal relationship targets of the zip packages given.

For each package: one line "E<TAB>package<TAB>entry" per entry, then one
line "R<TAB>package<TAB>source part<TAB>target" per relationship whose
TargetMode is empty or Internal, the source part being the part the
.rels file belongs to. Packages that are no zip files are skipped."""
import posixpath
import sys
import xml.etree.ElementTree as ET
import zipfile

NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"

for path in sys.argv[1:]:
    try:
        package = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, OSError):
        continue
    names = package.namelist()
    for name in names:
        print(f"E\t{path}\t{name}")
    for name in names:
        folder, base = posixpath.split(name)
        if posixpath.basename(folder) != "_rels" or not base.endswith(".rels"):
            continue
        source = posixpath.join(posixpath.dirname(folder), base[: -len(".rels")])
        if source == "":  # the package's own relationships
            continue
        try:
            root = ET.fromstring(package.read(name))
        except ET.ParseError:
            continue
        for rel in root.iter(NS + "Relationship"):
            if rel.get("TargetMode", "Internal") != "Internal" or not rel.get("Target"):
                continue
            print(f"R\t{path}\t{source}\t{rel.get('Target')}")
