#!/usr/bin/env python3
"""Tells the Office document kind of each zip package given, read apart from
the library: zipfile lists the package, ElementTree reads its parts.

Prints one line per package: path, kind (0-16), how it was found, and the
main part's content type. The main part is the target of the package's
officeDocument relationship (transitional or Strict type), its leading "/"
removed; its content type is its Override, else the Default of its
extension, both compared without regard to case as the packaging rules
say."""
import sys
import xml.etree.ElementTree as ET
import zipfile

TYPES_NS = "{http://schemas.openxmlformats.org/package/2006/content-types}"
RELS_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
OFFICE_DOCUMENT = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument": "transitional",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument": "strict",
}
KINDS = [
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
    "application/vnd.ms-word.document.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
    "application/vnd.ms-word.template.macroEnabledTemplate.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
    "application/vnd.ms-excel.sheet.binary.macroEnabled.main",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
    "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml",
    "application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml",
    "application/vnd.ms-powerpoint.template.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.themeManager+xml",
]


def reading(path):
    try:
        package = zipfile.ZipFile(path)
        names = set(package.namelist())
    except (zipfile.BadZipFile, OSError) as e:
        return 0, "unreadable: " + type(e).__name__, "-"
    if "[Content_Types].xml" not in names:
        return 0, "no [Content_Types].xml", "-"
    if "_rels/.rels" not in names:
        return 0, "no _rels/.rels", "-"
    main, how = None, None
    for rel in ET.fromstring(package.read("_rels/.rels")).iter(RELS_NS + "Relationship"):
        how = OFFICE_DOCUMENT.get(rel.get("Type"))
        if how:
            main = rel.get("Target", "").lstrip("/")
            break
    if main is None:
        return 0, "no officeDocument relationship", "-"
    types = ET.fromstring(package.read("[Content_Types].xml"))
    content_type = None
    for o in types.iter(TYPES_NS + "Override"):
        if o.get("PartName", "").lstrip("/").lower() == main.lower():
            content_type = o.get("ContentType")
    if content_type is None:
        extension = main.rsplit(".", 1)[-1].lower() if "." in main else ""
        for d in types.iter(TYPES_NS + "Default"):
            if d.get("Extension", "").lower() == extension:
                content_type = d.get("ContentType")
    kind = KINDS.index(content_type) + 1 if content_type in KINDS else 0
    return kind, how, content_type or "-"


for path in sys.argv[1:]:
    kind, how, content_type = reading(path)
    print(f"{path}\t{kind}\t{how}\t{content_type}")
