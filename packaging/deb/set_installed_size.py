#!/usr/bin/python3
"""Sets a .deb's Installed-Size to what dpkg counts.

CPack counts directories as 4 KiB each and rounds the total, so its
Installed-Size is a little above what dpkg-gencontrol would write: each
regular file's size rounded up to a KiB, and one KiB for every other entry
(directories, links). This rewrites the control member with dpkg's figure
and keeps every other byte, header field and time stamp as CPack wrote it,
so that the package stays reproducible.
    set_installed_size.py DEB
"""
import gzip
import io
import os
import sys
import tarfile

AR_MAGIC = b"!<arch>\n"
AR_HEADER_SIZE = 60
AR_SIZE_FIELD = slice(48, 58)
CONTROL_MEMBER = b"control.tar.gz"
DATA_MEMBER = b"data.tar.gz"
CONTROL_FILE = "./control"
FIELD = b"Installed-Size: "
KIB = 1024


def read_members(deb):
    if not deb.startswith(AR_MAGIC):
        sys.exit("set_installed_size: not an ar archive")
    members, offset = [], len(AR_MAGIC)
    while offset < len(deb):
        header = deb[offset:offset + AR_HEADER_SIZE]
        size = int(header[AR_SIZE_FIELD])
        body = deb[offset + AR_HEADER_SIZE:offset + AR_HEADER_SIZE + size]
        members.append((header, body))
        offset += AR_HEADER_SIZE + size + size % 2
    return members


def write_members(members):
    out = bytearray(AR_MAGIC)
    for header, body in members:
        header = header[:48] + str(len(body)).ljust(10).encode() + header[58:]
        out += header + body + (b"\n" if len(body) % 2 else b"")
    return bytes(out)


def installed_kib(data):
    with tarfile.open(fileobj=io.BytesIO(gzip.decompress(data))) as tar:
        return sum((m.size + KIB - 1) // KIB if m.isfile() else 1 for m in tar.getmembers())


def with_installed_size(control, kib):
    source = tarfile.open(fileobj=io.BytesIO(gzip.decompress(control)))
    rewritten = io.BytesIO()
    with tarfile.open(fileobj=rewritten, mode="w", format=source.format) as tar:
        for member in source.getmembers():
            content = source.extractfile(member).read() if member.isfile() else None
            if member.name == CONTROL_FILE:
                lines = [FIELD + str(kib).encode() if line.startswith(FIELD) else line
                         for line in content.split(b"\n")]
                content = b"\n".join(lines)
                member.size = len(content)
            tar.addfile(member, io.BytesIO(content) if content is not None else None)
    compressed = io.BytesIO()
    with gzip.GzipFile(fileobj=compressed, mode="wb", compresslevel=9, mtime=0, filename="") as gz:
        gz.write(rewritten.getvalue())
    return compressed.getvalue()


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: set_installed_size.py DEB")
    path = sys.argv[1]
    with open(path, "rb") as f:
        members = read_members(f.read())
    names = [header[:16].rstrip(b" /") for header, _ in members]
    if CONTROL_MEMBER not in names or DATA_MEMBER not in names:
        sys.exit("set_installed_size: no %s and %s in %s" % (CONTROL_MEMBER, DATA_MEMBER, path))
    kib = installed_kib(members[names.index(DATA_MEMBER)][1])
    index = names.index(CONTROL_MEMBER)
    members[index] = (members[index][0], with_installed_size(members[index][1], kib))
    with open(path + ".tmp", "wb") as f:
        f.write(write_members(members))
    os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
