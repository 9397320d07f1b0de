"""Writes broken and hostile workbooks from a good one: truncated, no workbook, bombs, caps."""
import io
import sys
import zipfile
import zlib

good, outdir = sys.argv[1], sys.argv[2]
parts = {}
with zipfile.ZipFile(good) as z:
    for n in z.namelist():
        parts[n] = z.read(n)


def write(name, replaced, drop=()):
    with zipfile.ZipFile(f"{outdir}/{name}", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for n, data in parts.items():
            if n in drop:
                continue
            z.writestr(n, replaced.get(n, data))


data = open(good, "rb").read()
open(f"{outdir}/hostile_truncated.xlsx", "wb").write(data[: len(data) * 2 // 3])
write("hostile_noworkbook.xlsx", {}, drop=("xl/workbook.xml",))
open(f"{outdir}/hostile_text.xlsx", "w").write("exchange,code,ratio\nSH,600000,0.7\n")
open(f"{outdir}/hostile_text.xls", "w").write("exchange\tcode\tratio\nSH\t600000\t0.7\n")

head = b'<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
tail = b"</sheetData></worksheet>"
sheet = "xl/worksheets/sheet1.xml"


def streamed(name, body_piece, count):
    # Compressed piece by piece so a huge part never sits in memory here either.
    comp = zlib.compressobj(9, zlib.DEFLATED, -15)
    out = io.BytesIO()
    out.write(comp.compress(head))
    crc = zlib.crc32(head)
    size = len(head)
    chunk = body_piece * max(1, (1 << 20) // len(body_piece))
    done = 0
    while done < count:
        n = min(count - done, (1 << 20) // len(body_piece))
        piece = chunk if n * len(body_piece) == len(chunk) else body_piece * n
        out.write(comp.compress(piece))
        crc = zlib.crc32(piece, crc)
        size += len(piece)
        done += n
    out.write(comp.compress(tail))
    crc = zlib.crc32(tail, crc)
    size += len(tail)
    out.write(comp.flush())
    return out.getvalue(), crc, size


def write_raw(name, sheet_raw):
    # Writes the sheet with a precomputed deflate stream; the rest as usual.
    raw, crc, size = sheet_raw
    with zipfile.ZipFile(f"{outdir}/{name}", "w", zipfile.ZIP_DEFLATED) as z:
        for n, d in parts.items():
            if n != sheet:
                z.writestr(n, d)
        info = zipfile.ZipInfo(sheet)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.CRC = crc
        info.compress_size = len(raw)
        info.file_size = size
        z.fp.seek(z.start_dir)
        info.header_offset = z.start_dir
        info.flag_bits = 0
        z.fp.write(info.FileHeader(zip64=False))
        z.fp.write(raw)
        z.start_dir = z.fp.tell()
        z.filelist.append(info)
        z.NameToInfo[sheet] = info
        z._didModify = True


# 300 MiB of white space: past the inflate cap without a single element.
write_raw("hostile_bomb_padding.xlsx", streamed("pad", b" " * 64, 300 * 1024 * 1024 // 64))
# Millions of empty elements that are no cells: past the element cap.
write_raw("hostile_bomb_elements.xlsx", streamed("elements", b"<x/>", 9_000_000))
# Millions of cells, eight a row in 300,000 rows: past the cell cap.
write_raw("hostile_bomb_cells.xlsx", streamed("cells", b"<row>" + b"<c><v>1</v></c>" * 8 + b"</row>", 300_000))
# Nesting deeper than any sheet.
write("hostile_deep.xlsx", {sheet: head + b"<row>" * 100000 + tail})
# A claimed huge dimension with A1 and XFD1048576 filled: a used range no memory can hold.
write("hostile_corners.xlsx", {sheet: head.replace(b"<sheetData>", b'<dimension ref="A1:XFD1048576"/><sheetData>')
      + b'<row r="1"><c r="A1"><v>1</v></c></row><row r="1048576"><c r="XFD1048576"><v>2</v></c></row>' + tail})
# One cell at the far corner: a one-cell range.
write("corner_cell.xlsx", {sheet: head.replace(b"<sheetData>", b'<dimension ref="A1:XFD1048576"/><sheetData>')
      + b'<row r="1048576"><c r="XFD1048576" t="inlineStr"><is><t>far</t></is></c></row>' + tail})
# A row past the last one a sheet has.
write("hostile_pastend.xlsx", {sheet: head + b'<row r="1048577"><c r="A1048577"><v>1</v></c></row>' + tail})
# A shared-string table of millions of items.
sst_head = b'<?xml version="1.0"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" uniqueCount="999999999">'
write("hostile_sst.xlsx", {"xl/sharedStrings.xml": sst_head + b"<si><t>x</t></si>" * 2_500_000 + b"</sst>"})
# Garbled XML in the sheet.
write("hostile_garbled.xlsx", {sheet: head + b'<row><c r="A1"><v>1</v></c><row></c>\x00' + tail})
# A DTD with entity expansion.
write("hostile_entities.xlsx", {sheet: b'<?xml version="1.0"?><!DOCTYPE w [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]>'
      + head[head.index(b"<worksheet"):] + b'<row><c t="inlineStr"><is><t>&b;</t></is></c></row>' + tail})
# Corrupt deflate data inside the sheet.
with zipfile.ZipFile(f"{outdir}/hostile_crc.xlsx", "w", zipfile.ZIP_STORED) as z:
    for n, d in parts.items():
        z.writestr(n, d)
raw = bytearray(open(f"{outdir}/hostile_crc.xlsx", "rb").read())
at = raw.find(b"<sheetData>")
raw[at + 1:at + 6] = b"XXXXX"
open(f"{outdir}/hostile_crc.xlsx", "wb").write(bytes(raw))
