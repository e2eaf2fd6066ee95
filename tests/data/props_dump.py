#!/usr/bin/python3
"""Lists the summary and document summary properties of a compound file as
python3-olefile reads them, one a line:

    set|id|value

set is S (summary) or D (document summary, first section); value is the
decimal number, True/False, b:HEX for 8-bit strings and binary data (as
olefile gives them: strings without their NUL bytes), w:HEX for UTF-8 of
wide strings. Types olefile does not decode are left out, as is the
dictionary. Then the get_metadata() text fields: M|name|HEX as olefile
gives the bytes, and T|name|HEX in UTF-8, decoded with the set's code page.
"""
import sys

import olefile


def text(value):
    if isinstance(value, int):  # bool included: True/False
        return str(value)
    if isinstance(value, bytes):
        return "b:" + value.hex()
    return "w:" + value.encode("utf-8", "surrogatepass").hex()


def main():
    ole = olefile.OleFileIO(sys.argv[1])
    out = []
    for tag, name in (("S", "\x05SummaryInformation"), ("D", "\x05DocumentSummaryInformation")):
        if not ole.exists(name):
            continue
        for pid, value in sorted(ole.getproperties(name).items()):
            if pid != 0 and value is not None:
                out.append("%s|%d|%s" % (tag, pid, text(value)))
    meta = ole.get_metadata()
    for field in ("title", "subject", "author", "keywords", "comments", "last_saved_by",
                  "creating_application", "category", "company"):
        value = getattr(meta, field)
        if value is not None:
            out.append("M|%s|%s" % (field, value.hex()))
            page = meta.codepage_doc if field in ("category", "company") else meta.codepage
            codec = "utf-8" if page in (None, 65001, -535) else "cp%d" % (page & 0xFFFF)
            out.append("T|%s|%s" % (field, value.decode(codec, "replace").encode("utf-8").hex()))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
