"""Writes one good workbook as zip packages of every layout writers use, and as broken packages.

Readable: ZIP64 records in the central directory and the end records, ZIP64 local headers only,
stored parts, data descriptors, an archive comment holding a stray end-record signature, part
names in another case. Broken: a CRC that does not match, a central directory past the end, a
deflate stream cut short, a local header offset into nowhere, an encrypted part (Info-ZIP zip),
bzip2 parts, a part named twice.
"""
import io
import os
import struct
import subprocess
import sys
import tempfile
import warnings
import zipfile
import zlib

good, outdir = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(good) as z:
    parts = {n: z.read(n) for n in z.namelist()}


def out(name):
    return os.path.join(outdir, name)


def write(name, method=zipfile.ZIP_DEFLATED, comment=b"", force_zip64=False):
    with zipfile.ZipFile(out(name), "w", method) as z:
        for n, data in parts.items():
            with z.open(n, "w", force_zip64=force_zip64) as w:
                w.write(data)
        z.comment = comment


def zip64_everywhere(name):
    """Every size and offset behind 0xFFFFFFFF with its ZIP64 extra field, as some writers do."""
    body, central = io.BytesIO(), io.BytesIO()
    for n, data in parts.items():
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = packer.compress(data) + packer.flush()
        crc = zlib.crc32(data)
        offset = body.tell()
        raw = n.encode()
        local_extra = struct.pack("<HHQQ", 1, 16, len(data), len(packed))
        body.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 8, 0, 0x21, crc, 0xFFFFFFFF, 0xFFFFFFFF,
                               len(raw), len(local_extra)) + raw + local_extra + packed)
        extra = struct.pack("<HHQQQ", 1, 24, len(data), len(packed), offset)
        central.write(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 8, 0, 0x21, crc, 0xFFFFFFFF,
                                  0xFFFFFFFF, len(raw), len(extra), 0, 0, 0, 0, 0xFFFFFFFF) + raw + extra)
    start, directory = body.tell(), central.getvalue()
    end64 = body.tell() + len(directory)
    count = len(parts)
    record64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, len(directory), start)
    locator = struct.pack("<IIQI", 0x07064B50, 0, end64, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    with open(out(name), "wb") as f:
        f.write(body.getvalue() + directory + record64 + locator + end)
    with zipfile.ZipFile(out(name)) as z:
        assert z.testzip() is None and z.read("xl/workbook.xml") == parts["xl/workbook.xml"]


class Unseekable(io.RawIOBase):
    """A pipe as zipfile sees it: it writes sizes after the data, in data descriptors."""

    def __init__(self, sink):
        self.sink = sink

    def writable(self):
        return True

    def write(self, b):
        return self.sink.write(b)


def with_descriptors(name):
    with open(out(name), "wb") as f, zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
        for n, data in parts.items():
            with z.open(n, "w") as w:
                w.write(data)
    with zipfile.ZipFile(out(name)) as z:
        assert all(i.flag_bits & 8 for i in z.infolist())


def patched(name, source, change):
    data = bytearray(open(out(source), "rb").read())
    change(data)
    open(out(name), "wb").write(bytes(data))


def central_entry(data, part):
    end = data.rindex(b"PK\x05\x06")
    at = struct.unpack_from("<I", data, end + 16)[0]
    while True:
        lengths = struct.unpack_from("<HHH", data, at + 28)
        if data[at + 46:at + 46 + lengths[0]] == part.encode():
            return at
        at += 46 + sum(lengths)


sheet = "xl/worksheets/sheet1.xml"
zip64_everywhere("zip64.xlsx")
write("zip64_local.xlsx", force_zip64=True)
write("stored.xlsx", zipfile.ZIP_STORED)
with_descriptors("descriptors.xlsx")
# The stray signature's comment length runs short of the file's end: only the real record fits.
write("comment.xlsx", comment=b"made by hand " + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, 46, 0, 3) + b" end")
with zipfile.ZipFile(out("case.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
    for n, data in parts.items():
        z.writestr(n.replace("worksheets/sheet1", "Worksheets/Sheet1").replace("workbook.xml", "Workbook.XML"), data)


def crc_mismatch(data):
    # "exchange" becomes "exchangf": the XML stays well formed, only the checksum tells.
    at = data.index(b"exchange")
    data[at + 7] = ord("f")


write("hostile_zip_stored.xlsx", zipfile.ZIP_STORED)
patched("hostile_zip_crc.xlsx", "hostile_zip_stored.xlsx", crc_mismatch)
os.remove(out("hostile_zip_stored.xlsx"))


def directory_past_end(data):
    end = data.rindex(b"PK\x05\x06")
    struct.pack_into("<I", data, end + 16, len(data) + 1000)


def stream_cut_short(data):
    at = central_entry(data, sheet)
    packed = struct.unpack_from("<I", data, at + 20)[0]
    struct.pack_into("<I", data, at + 20, packed // 2)


def local_offset_into_nowhere(data):
    at = central_entry(data, sheet)
    struct.pack_into("<I", data, at + 42, 0xFFFFFF)


patched("hostile_zip_directory.xlsx", "stored.xlsx", directory_past_end)
write("hostile_zip_deflated.xlsx")
patched("hostile_zip_cut.xlsx", "hostile_zip_deflated.xlsx", stream_cut_short)
patched("hostile_zip_local.xlsx", "hostile_zip_deflated.xlsx", local_offset_into_nowhere)
os.remove(out("hostile_zip_deflated.xlsx"))
write("hostile_zip_bzip2.xlsx", zipfile.ZIP_BZIP2)
with warnings.catch_warnings():
    warnings.simplefilter("ignore")
    with zipfile.ZipFile(out("hostile_zip_twice.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        for n, data in parts.items():
            z.writestr(n, data)
        z.writestr(sheet, parts[sheet])
with tempfile.TemporaryDirectory() as tmp:
    for n, data in parts.items():
        os.makedirs(os.path.join(tmp, os.path.dirname(n)), exist_ok=True)
        open(os.path.join(tmp, n), "wb").write(data)
    target = os.path.abspath(out("hostile_zip_encrypted.xlsx"))
    if os.path.exists(target):
        os.remove(target)
    subprocess.run(["zip", "-q", "-X", "-P", "secret", "-r", target] + list(parts), cwd=tmp, check=True)
