#!/usr/bin/python3
"""Rebuild the sample conversion-rate files in examples/ from data/securities.csv.

    /usr/bin/python3 tools/make_examples.py

Needs python3-openpyxl and python3-xlwt (Debian packages). The output is
byte-for-byte reproducible: if git shows a diff after a rerun, the master or
this script changed.
"""

import io
import random
import re
import sys
import zipfile
from datetime import datetime
from decimal import Decimal
from pathlib import Path

import openpyxl
import xlwt
from openpyxl.styles import Font

ROOT = Path(__file__).resolve().parent.parent
MASTER = ROOT / "data" / "securities.csv"
OUT = ROOT / "examples"

HEADER = ["交易所", "证券代码", "证券名称", "折算率"]

CODE_PATTERNS = {
    # 5xxxxx are Shanghai funds; 1xxxxx Shenzhen funds.
    "SH": re.compile(r"^(60[0-5]\d{3}|688\d{3}|5\d{5})$"),
    "SZ": re.compile(r"^(00[0-3]\d{3}|30[01]\d{3}|1\d{5})$"),
    "BJ": re.compile(r"^(43\d{4}|8[3-7]\d{4}|920\d{3})$"),
}

SPELLINGS = {
    "code": {"SH": "SH", "SZ": "SZ", "BJ": "BJ"},
    "chinese": {"SH": "上海", "SZ": "深圳", "BJ": "北京"},
    "english": {"SH": "SSE", "SZ": "SZSE", "BJ": "BSE"},
}

# Large, liquid main-board names that brokers haircut least.
BLUE_CHIPS = {
    ("SH", c) for c in (
        "600000 600028 600030 600036 600276 600309 600519 600585 600887 "
        "600900 600941 601012 601088 601166 601288 601318 601328 601398 "
        "601628 601857 601888 601939 601988 603288 600809 601899"
    ).split()
} | {
    ("SZ", c) for c in (
        "000001 000002 000063 000333 000568 000651 000725 000858 002142 "
        "002304 002352 002415 002475 002594 002714"
    ).split()
}

# Every file carries a few well-known codes with leading zeros, the rows
# spreadsheets tend to mangle.
LEADING_ZERO_CODES = [("SZ", "000001"), ("SZ", "000002"), ("SZ", "000858"), ("SZ", "002594")]


def fail(msg):
    sys.exit(f"make_examples: {msg}")


def load_master():
    raw = MASTER.read_bytes()
    if raw.startswith(b"\xef\xbb\xbf"):
        fail(f"{MASTER} starts with a BOM")
    if b"\r" in raw:
        fail(f"{MASTER} has CR characters; LF line ends only")
    lines = raw.decode("utf-8").split("\n")
    if lines[-1] != "":
        fail(f"{MASTER} does not end with a newline")
    lines = lines[:-1]
    if lines[0] != "exchange,code,name":
        fail(f"{MASTER}: unexpected header {lines[0]!r}")
    rows, seen = [], set()
    for no, line in enumerate(lines[1:], start=2):
        parts = line.split(",")
        if len(parts) != 3:
            fail(f"{MASTER}:{no}: expected 3 fields: {line!r}")
        exch, code, name = parts
        if exch not in CODE_PATTERNS:
            fail(f"{MASTER}:{no}: unknown exchange {exch!r}")
        if not CODE_PATTERNS[exch].match(code):
            fail(f"{MASTER}:{no}: code {code!r} does not belong to {exch}")
        if not name or name != name.strip() or '"' in name:
            fail(f"{MASTER}:{no}: bad name {name!r}")
        if (exch, code) in seen:
            fail(f"{MASTER}:{no}: duplicate {exch} {code}")
        seen.add((exch, code))
        rows.append((exch, code, name))
    return rows


def board(exch, code):
    if exch == "BJ":
        return "bj"
    if code.startswith(("5", "1")):
        return "fund"
    if code.startswith("688"):
        return "star"
    if code.startswith("30"):
        return "chinext"
    return "sh_main" if exch == "SH" else "sz_main"


def is_small_cap(exch, code):
    # Recent small listings; their haircut sits with Beijing's.
    return exch == "BJ" or code.startswith(("605", "003", "0012", "0013", "301"))


def pick_ratio(rng, exch, code):
    if (exch, code) in BLUE_CHIPS:
        steps = ["0.65", "0.70"]
    elif is_small_cap(exch, code):
        steps = ["0.40", "0.45", "0.50"]
    else:
        steps = ["0.50", "0.55", "0.60"]
    return Decimal(rng.choice(steps))


def build_rows(master, seed, quotas, zeros):
    """Pick securities per board and give each a ratio; returns sorted rows
    of (exch, code, name, Decimal ratio)."""
    rng = random.Random(seed)
    by_key = {(e, c): n for e, c, n in master}
    chosen = list(LEADING_ZERO_CODES)
    for key in chosen:
        if key not in by_key:
            fail(f"{key} is missing from the master")
    for group, want in quotas.items():
        have = sum(1 for e, c in chosen if board(e, c) == group)
        pool = [(e, c) for e, c, _ in master if board(e, c) == group and (e, c) not in chosen]
        chosen += rng.sample(pool, want - have)
    ratios = {key: pick_ratio(rng, *key) for key in chosen}
    # A few names the broker no longer accepts as collateral at all.
    zero_pool = [k for k in chosen if k not in BLUE_CHIPS and k not in LEADING_ZERO_CODES]
    for key in rng.sample(zero_pool, zeros):
        ratios[key] = Decimal(0)
    order = {"SH": 0, "SZ": 1, "BJ": 2}
    chosen.sort(key=lambda k: (order[k[0]], k[1]))
    return [(e, c, by_key[(e, c)], ratios[(e, c)]) for e, c in chosen]


def ratio_text(r):
    return "0" if r == 0 else format(r.normalize(), "f")


def write_csv(path, rows, spelling, encoding, eol):
    names = SPELLINGS[spelling]
    lines = [",".join(HEADER)]
    lines += [f"{names[e]},{c},{n},{ratio_text(r)}" for e, c, n, r in rows]
    path.write_bytes((eol.join(lines) + eol).encode(encoding))


def write_xlsx(path, rows, spelling, numeric_codes):
    names = SPELLINGS[spelling]
    wb = openpyxl.Workbook()
    # Fixed document dates, otherwise every rebuild differs.
    stamp = datetime(2024, 1, 1)
    wb.properties.created = stamp
    wb.properties.modified = stamp
    wb.properties.creator = "make_examples"
    ws = wb.active
    ws.title = "折算率"
    ws.append(HEADER)
    for cell in ws[1]:
        cell.font = Font(bold=True)
    for e, c, n, r in rows:
        numeric = (e, c) in numeric_codes
        ws.append([names[e], int(c) if numeric else c, n, float(r)])
        code_cell, ratio_cell = ws.cell(ws.max_row, 2), ws.cell(ws.max_row, 4)
        code_cell.number_format = "General" if numeric else "@"
        ratio_cell.number_format = "0.00"
    for col, width in zip("ABCD", (10, 12, 16, 10)):
        ws.column_dimensions[col].width = width
    buf = io.BytesIO()
    wb.save(buf)
    path.write_bytes(normalise_zip(buf.getvalue()))


def normalise_zip(data):
    """Rewrite a zip with fixed entry timestamps so output is reproducible."""
    src = zipfile.ZipFile(io.BytesIO(data))
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            fixed = zipfile.ZipInfo(info.filename, date_time=(2024, 1, 1, 0, 0, 0))
            fixed.compress_type = zipfile.ZIP_DEFLATED
            fixed.external_attr = info.external_attr
            dst.writestr(fixed, src.read(info.filename))
    return out.getvalue()


def write_xls(path, rows, spelling):
    names = SPELLINGS[spelling]
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("折算率")
    bold = xlwt.easyxf("font: bold on")
    text = xlwt.easyxf(num_format_str="@")
    ratio = xlwt.easyxf(num_format_str="0.00")
    for col, title in enumerate(HEADER):
        ws.write(0, col, title, bold)
    for i, (e, c, n, r) in enumerate(rows, start=1):
        ws.write(i, 0, names[e], text)
        ws.write(i, 1, c, text)
        ws.write(i, 2, n, text)
        ws.write(i, 3, float(r), ratio)
    for col, width in enumerate((10, 12, 16, 10)):
        ws.col(col).width = width * 256
    buf = io.BytesIO()
    wb.save(buf)
    path.write_bytes(buf.getvalue())


def main():
    master = load_master()
    counts = {}
    for e, _, _ in master:
        counts[e] = counts.get(e, 0) + 1
    print("master:", len(master), "securities", counts)

    OUT.mkdir(exist_ok=True)

    rows = build_rows(master, seed=101,
                      quotas={"sh_main": 18, "star": 8, "sz_main": 16, "chinext": 9, "bj": 9},
                      zeros=2)
    write_csv(OUT / "rates_utf8.csv", rows, "code", "utf-8", "\n")
    print("rates_utf8.csv:", len(rows), "rows")

    rows = build_rows(master, seed=202,
                      quotas={"sh_main": 12, "star": 5, "sz_main": 11, "chinext": 6, "bj": 6},
                      zeros=2)
    write_csv(OUT / "rates_gbk.csv", rows, "chinese", "gbk", "\r\n")
    print("rates_gbk.csv:", len(rows), "rows")

    rows = build_rows(master, seed=303,
                      quotas={"sh_main": 24, "star": 11, "sz_main": 21, "chinext": 12, "bj": 12},
                      zeros=3)
    write_xlsx(OUT / "rates.xlsx", rows, "english", numeric_codes=set(LEADING_ZERO_CODES))
    print("rates.xlsx:", len(rows), "rows,", len(LEADING_ZERO_CODES), "codes as numbers")

    rows = build_rows(master, seed=404,
                      quotas={"sh_main": 15, "star": 7, "sz_main": 13, "chinext": 7, "bj": 8},
                      zeros=2)
    write_xls(OUT / "rates.xls", rows, "code")
    print("rates.xls:", len(rows), "rows")


if __name__ == "__main__":
    main()
