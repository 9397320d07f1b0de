"""Writes .xls files no tool at hand makes: a BIFF5 book in a code page, records split over
CONTINUE the way Excel splits them, and broken compound documents and BIFF streams.

Usage: xls_books.py OUTDIR"""
import struct
import sys

out = sys.argv[1]
END, FREE, NONE = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF
SECTOR = 512


def rec(kind, body=b""):
    return struct.pack("<HH", kind, len(body)) + body


def cfb(name, data):
    """A version 3 compound document holding one stream in regular sectors (4096 bytes at least)."""
    data = data.ljust(4096, b"\0")
    sectors, fat = [], []

    def put(blob):
        start, n = len(sectors), (len(blob) + SECTOR - 1) // SECTOR
        for i in range(n):
            sectors.append(blob[i * SECTOR:(i + 1) * SECTOR].ljust(SECTOR, b"\0"))
            fat.append(start + i + 1 if i < n - 1 else END)
        return start

    stream_start = put(data)

    def entry(ename, kind, start, size, child=NONE):
        raw = ename.encode("utf-16-le")
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw) + 2, kind, 1)
                + struct.pack("<III", NONE, NONE, child) + b"\0" * 36 + struct.pack("<III", start, size, 0))

    directory = entry("Root Entry", 5, END, 0, child=1) + entry(name, 2, stream_start, len(data))
    dir_start = put(directory.ljust(SECTOR, b"\0"))
    fat_start = len(sectors)
    fat += [0xFFFFFFFD]  # one FAT sector covers 128 sectors: enough here
    assert len(fat) <= 128
    sectors.append(struct.pack("<128I", *(fat + [FREE] * (128 - len(fat)))))
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
              + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
              + struct.pack("<IIIIIIIII", 0, 1, dir_start, 0, 4096, END, 0, END, 0)
              + struct.pack("<109I", fat_start, *([FREE] * 108)))
    info = {"dir": 512 * (dir_start + 1) + 128, "fat": 512 * (fat_start + 1),
            "first": stream_start, "count": (len(data) + SECTOR - 1) // SECTOR}
    return bytearray(header + b"".join(sectors)), info


def book(version, globals_body, sheet_body):
    """Globals and one sheet, the BOUNDSHEET pointing at the sheet's BOF."""
    bof = (lambda dt: rec(0x0809, struct.pack("<HHHHII", 0x0600, dt, 0x0DBB, 0x07CC, 0, 6))) if version == 8 else \
          (lambda dt: rec(0x0809, struct.pack("<HHHH", 0x0500, dt, 0x0DBB, 0x07CC)))
    name = b"\x05\x00Rates" if version == 8 else b"\x05Rates"
    head = bof(0x0005) + globals_body
    sheet_at = len(head) + 4 + 6 + len(name) + 4
    return (head + rec(0x0085, struct.pack("<IBB", sheet_at, 0, 0) + name) + rec(0x000A)
            + bof(0x0010) + sheet_body + rec(0x000A))


def cell(row, col, xf=0):
    return struct.pack("<HHH", row, col, xf)


def xf8(fmt):
    return rec(0x00E0, struct.pack("<HH", 0, fmt) + b"\0" * 16)


def text8(s, length=2):
    """A BIFF8 string, 8-bit when every character fits, else UTF-16."""
    wide = any(ord(c) > 0xFF for c in s)
    raw = s.encode("utf-16-le") if wide else s.encode("latin-1")
    return struct.pack("<H" if length == 2 else "<B", len(s)) + bytes([1 if wide else 0]) + raw


# --- BIFF5 ("Book" stream), texts in code page 936 ---------------------------------------------
def text5(s, length=2):
    raw = s.encode("gbk")
    return struct.pack("<H" if length == 2 else "<B", len(raw)) + raw


g5 = (rec(0x0042, struct.pack("<H", 936)) + rec(0x0022, struct.pack("<H", 0))
      + rec(0x041E, struct.pack("<H", 164) + text5("yyyy-mm-dd", 1))
      + rec(0x00E0, struct.pack("<HH", 0, 0) + b"\0" * 12)
      + rec(0x00E0, struct.pack("<HH", 0, 164) + b"\0" * 12)
      + rec(0x00E0, struct.pack("<HH", 0, 20) + b"\0" * 12))
s5 = b"".join([
    rec(0x0204, cell(0, 0) + text5("交易所")), rec(0x0204, cell(0, 1) + text5("代码")),
    rec(0x0204, cell(0, 2) + text5("名称")), rec(0x0204, cell(0, 3) + text5("折算率")),
    rec(0x0204, cell(0, 4) + text5("日期")),
    rec(0x0204, cell(1, 0) + text5("SH")), rec(0x0204, cell(1, 1) + text5("000001")),
    rec(0x0204, cell(1, 2) + text5("平安银行")),
    rec(0x027E, cell(1, 3) + struct.pack("<I", (70 << 2) | 3)),   # 0.7 as integer 70 / 100
    rec(0x0203, cell(1, 4, 1) + struct.pack("<d", 45366.0)),       # 2024-03-15
    rec(0x0204, cell(2, 0) + text5("SZ")),
    # 600000 as an integer, 12.5 as a cut double, 1.25 as 125 / 100
    rec(0x00BD, struct.pack("<HH", 2, 1) + struct.pack("<HI", 0, (600000 << 2) | 2)
        + struct.pack("<HI", 0, 0x40290000) + struct.pack("<HI", 0, 0x405F4000 | 1) + struct.pack("<H", 3)),
    rec(0x0006, cell(2, 4, 2) + struct.pack("<d", 0.5625) + b"\0" * 6 + b"\0\0"),  # 13:30:00
    rec(0x0205, cell(3, 0) + b"\x01\x00"), rec(0x0205, cell(3, 1) + b"\x07\x01"),
    rec(0x0006, cell(3, 2) + b"\0\0\0\0\0\0\xff\xff" + b"\0" * 6 + b"\0\0"), rec(0x0207, text5("浦发银行")),
])
data, _ = cfb("Book", book(5, g5, s5))
open(f"{out}/biff5.xls", "wb").write(data)

# --- BIFF8 with records split the way Excel splits them ------------------------------------------
# A shared string starts 8-bit in the SST and goes on in UTF-16 in a CONTINUE (a fresh option
# byte); the next string starts at the top of the CONTINUE, with no option byte of its own.
first = "ab" * 10
sst_body = struct.pack("<II", 3, 3) + text8("折算率") + struct.pack("<HB", len(first) + 2, 0) + first.encode("latin-1")
cont = b"\x01" + "中国".encode("utf-16-le") + text8("SH")
# A formula's text result whose STRING record runs on in a CONTINUE, 8-bit then UTF-16.
string_body = struct.pack("<HB", 6, 0) + b"abc"
string_cont = b"\x01" + "平安银".encode("utf-16-le")
g8 = rec(0x0042, struct.pack("<H", 1200)) + xf8(0) + rec(0x00FC, sst_body) + rec(0x003C, cont)
s8 = (rec(0x00FD, cell(0, 0) + struct.pack("<I", 0)) + rec(0x00FD, cell(1, 0) + struct.pack("<I", 1))
      + rec(0x00FD, cell(2, 0) + struct.pack("<I", 2))
      + rec(0x0006, cell(2, 1) + b"\0\0\0\0\0\0\xff\xff" + b"\0" * 6 + b"\0\0")
      + rec(0x04BC, b"\0" * 10)  # a shared formula's record may come between FORMULA and STRING
      + rec(0x0207, string_body) + rec(0x003C, string_cont))
data, _ = cfb("Workbook", book(8, g8, s8))
open(f"{out}/continue.xls", "wb").write(data)

# --- broken ones ----------------------------------------------------------------------------------
good_stream = book(8, g8, s8)
good, info = cfb("Workbook", good_stream)
open(f"{out}/hostile_truncated.xls", "wb").write(good[: info["fat"] - 700])

# The chain turns back before the stream's end: a reader walking only what the stream needs
# still meets the loop.
loop = bytearray(good)
middle = info["first"] + info["count"] // 2
struct.pack_into("<I", loop, info["fat"] + 4 * middle, info["first"])
open(f"{out}/hostile_fat_loop.xls", "wb").write(loop)

far = bytearray(good)
struct.pack_into("<I", far, info["dir"] + 0x74, 0x00FFFFF0)
open(f"{out}/hostile_sector_range.xls", "wb").write(far)

huge = bytearray(good)
struct.pack_into("<I", huge, info["dir"] + 0x78, 0xFFFFFF00)
open(f"{out}/hostile_stream_size.xls", "wb").write(huge)

lonely = book(8, g8, rec(0x0203, cell(0, 0) + struct.pack("<d", 1.5)) + rec(0x0207, text8("orphan")))
open(f"{out}/hostile_lonely_string.xls", "wb").write(cfb("Workbook", lonely)[0])

unanswered = book(8, g8, rec(0x0006, cell(3, 2) + b"\0\0\0\0\0\0\xff\xff" + b"\0" * 6 + b"\0\0")
                  + rec(0x0203, cell(4, 0) + struct.pack("<d", 1.5)))
open(f"{out}/hostile_no_string.xls", "wb").write(cfb("Workbook", unanswered)[0])

no_bof = good_stream[20:]
open(f"{out}/hostile_no_bof.xls", "wb").write(cfb("Workbook", no_bof)[0])

# --- numbers as RK (integer or cut double, maybe /100), MULRK and NUMBER, negative ones too ---------
def rk_int(n, cents=False):
    return ((n << 2) | 2 | (1 if cents else 0)) & 0xFFFFFFFF


def rk_double(value, cents=False):
    return (struct.unpack("<Q", struct.pack("<d", value))[0] >> 32) & 0xFFFFFFFC | (1 if cents else 0)


numbers = (rec(0x027E, cell(0, 0) + struct.pack("<I", rk_int(-6))) + rec(0x027E, cell(0, 1) + struct.pack("<I", rk_int(-150, True)))
           + rec(0x027E, cell(0, 2) + struct.pack("<I", rk_double(-2.5))) + rec(0x027E, cell(0, 3) + struct.pack("<I", rk_double(123.0, True)))
           + rec(0x00BD, struct.pack("<HH", 1, 0) + struct.pack("<HI", 0, rk_int(-536870912)) + struct.pack("<HI", 0, rk_int(-1, True))
                 + struct.pack("<HI", 0, rk_double(-0.5)) + struct.pack("<HI", 0, rk_int(7)) + struct.pack("<H", 3))
           + rec(0x0203, cell(2, 0) + struct.pack("<d", -0.25)) + rec(0x0203, cell(2, 1) + struct.pack("<d", 1e-7)))
open(f"{out}/numbers.xls", "wb").write(cfb("Workbook", book(8, g8, numbers))[0])

twice = book(8, g8, rec(0x0203, cell(1, 1) + struct.pack("<d", 0.55)) + rec(0x0203, cell(1, 1) + struct.pack("<d", 0.9)))
open(f"{out}/hostile_duplicate.xls", "wb").write(cfb("Workbook", twice)[0])

# Half a surrogate pair in a shared string: no text a person sees holds one.
sst_half = struct.pack("<II", 1, 1) + struct.pack("<HB", 3, 1) + "ab".encode("utf-16-le")[:2] + b"\x00\xd8" + "c".encode("utf-16-le")
half = book(8, rec(0x0042, struct.pack("<H", 1200)) + xf8(0) + rec(0x00FC, sst_half), rec(0x00FD, cell(0, 0) + struct.pack("<I", 0)))
open(f"{out}/hostile_surrogate.xls", "wb").write(cfb("Workbook", half)[0])

# --- FORMULA records under the id 0x0406 older writers give them, beside 0x0006 ------------------
older = (rec(0x0204, cell(0, 0) + text8("SH")) + rec(0x0204, cell(0, 1) + text8("600000"))
         + rec(0x0406, cell(0, 3) + struct.pack("<d", 0.7) + b"\0" * 6 + b"\0\0")
         + rec(0x0204, cell(1, 0) + text8("SZ")) + rec(0x0204, cell(1, 1) + text8("000001"))
         + rec(0x0006, cell(1, 3) + struct.pack("<d", 0.3) + b"\0" * 6 + b"\0\0")
         + rec(0x0406, cell(2, 3) + b"\x01\x00\x01\x00\x00\x00\xff\xff" + b"\0" * 6 + b"\0\0"))
open(f"{out}/formula0406.xls", "wb").write(cfb("Workbook", book(8, g8, older))[0])

# --- the East Asian built-in formats, no FORMAT record naming them: dates, and times ------------
asian_ids = list(range(27, 37)) + list(range(50, 59))
asian_times = {32, 33, 34, 35, 55, 56}
g_asian = rec(0x0042, struct.pack("<H", 1200)) + xf8(0) + b"".join(xf8(i) for i in asian_ids)
s_asian = b"".join(rec(0x0203, cell(r, 0, r + 1) + struct.pack("<d", 0.5625 if i in asian_times else 45366.0))
                   for r, i in enumerate(asian_ids))
open(f"{out}/eastasian.xls", "wb").write(cfb("Workbook", book(8, g_asian, s_asian))[0])

# --- password-protected: a FILEPASS record (RC4), and an encrypted .xlsx package ----------------
filepass = rec(0x002F, struct.pack("<HHH", 1, 1, 1) + b"\0" * 48)
locked = book(8, filepass + g8, rec(0x0203, cell(0, 0) + struct.pack("<d", 0.7)))
open(f"{out}/encrypted.xls", "wb").write(cfb("Workbook", locked)[0])
# What Excel writes for an .xlsx opened with a password: the package encrypted inside a compound
# document, beside the EncryptionInfo stream; only the latter is needed to tell.
info = struct.pack("<HHI", 4, 4, 0x40) + b"<?xml version=\"1.0\"?><encryption/>"
open(f"{out}/encrypted_package.xlsx", "wb").write(cfb("EncryptionInfo", info)[0])

# --- A formula's text result under ";;;": LibreOffice keeps 0 as the result of such a formula and
# xlwt keeps none, so it is written here as Excel writes it: FORMULA, then its STRING.
hidden_globals = (rec(0x0042, struct.pack("<H", 1200)) + rec(0x041E, struct.pack("<H", 164) + text8(";;;"))
                  + xf8(0) + xf8(164))
hidden_sheet = (rec(0x0204, cell(0, 0) + text8("代码")) + rec(0x0204, cell(0, 1) + text8("名称"))
                + rec(0x0204, cell(1, 0) + text8("600000"))
                + rec(0x0006, cell(1, 1, 1) + b"\0\0\0\0\0\0\xff\xff" + b"\0" * 6 + b"\0\0")
                + rec(0x0207, text8("浦发银行")))
open(f"{out}/hidden_formula_text.xls", "wb").write(cfb("Workbook", book(8, hidden_globals, hidden_sheet))[0])
