#!/usr/bin/python3
"""Lists a compound file with python3-olefile, one element a line:

    path|type|size|clsid|statebits|created|modified|fnv64 of the bytes

sorted by path ('/' between names; the root is the empty path). The tests
compare these lines with the engine's own listing of the same file.
"""
import sys

import olefile


def fnv64(data):
    h = 0xCBF29CE484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def line(ole, path, entry):
    kind = {1: "storage", 2: "stream", 5: "root"}[entry.entry_type]
    size = entry.size if kind == "stream" else 0
    data = ole.openstream(path).read() if kind == "stream" else b""
    return "%s|%s|%d|%s|%08x|%d|%d|%s" % (
        "/".join(path), kind, size, entry.clsid.upper(), entry.dwUserFlags,
        entry.createTime, entry.modifyTime, fnv64(data))


def main():
    ole = olefile.OleFileIO(sys.argv[1])
    out = [line(ole, [], ole.root)]
    for path in ole.listdir(streams=True, storages=True):
        out.append(line(ole, path, ole.direntries[ole._find(path)]))
    out.sort()
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8", "surrogatepass"))


if __name__ == "__main__":
    main()
