#!/usr/bin/env bash
# Reads the same conversion-rate files with our preview tool and with what a user would pick
# instead, whole process against whole process, in paired interleaved rounds (bench/pairedruns.py),
# and checks the speed targets against the peers by CPU time (user + system); wall time is printed
# beside it. Targets: csv 100k (UTF-8 and GBK) at least as fast as Python's csv module; .xls 65k
# at least as fast as every peer, on make_rate_files' file and on one LibreOffice wrote from a
# workbook; .xlsx 100k at least 4x faster than the fastest peer. The floors (cat, unzip -p) and our
# tool on the C library's default heap (CREDITDATA_SYSTEM_HEAP=1) are printed for information.
#
#   bash bench/compare.sh [--runs N] [--build DIR]
#
# Exit 0 when every target is met, 1 when one is missed or our tool fails its check (not every row
# read and used: that target FAILs), 2 when the run itself could not be made. Peers that cannot be
# installed are skipped with a message; a target with no peer left is not judged. Needs root (or sudo) to install missing peers; SheetJS goes into a temporary folder.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
runs=7
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs="$2"; shift 2 ;;
        --build) build="$2"; shift 2 ;;
        -h|--help) sed -n 2,15p "$0"; exit 0 ;;
        *) echo "compare.sh: unexpected argument $1" >&2; exit 2 ;;
    esac
done

work="$(mktemp -d -t creditdata-compare.XXXXXX)"
trap 'rm -rf "$work"' EXIT
say() { printf '%s\n' "$*" >&2; }

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
apt_updated=0
apt_install() {
    if [ "$apt_updated" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get update -qq >/dev/null 2>&1 || true
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$@" >/dev/null 2>&1
}
need_pkg() { # need_pkg PACKAGE CHECK-COMMAND...
    local pkg="$1"; shift
    "$@" >/dev/null 2>&1 && return 0
    say "installing $pkg ..."
    apt_install "$pkg" && "$@" >/dev/null 2>&1
}

# The Debian interpreter: the peers' Python packages come from Debian.
py=/usr/bin/python3
[ -x "$py" ] || py="$(command -v python3)"

# --- tools ---------------------------------------------------------------------------------
have_hyperfine=0
need_pkg hyperfine command -v hyperfine && have_hyperfine=1
[ "$have_hyperfine" -eq 1 ] || say "hyperfine unavailable: timing with a date loop"

preview="$build/bin/creditdata-preview"
if [ ! -x "$preview" ] || [ ! -x "$build/bin/make_rate_files" ]; then
    say "building creditdata-preview and the file generator ..."
    { [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null; } &&
        cmake --build "$build" -j2 --target creditdata-preview make_rate_files >/dev/null || { say "cannot build $preview"; exit 2; }
fi

have_openpyxl=0; need_pkg python3-openpyxl "$py" -c 'import openpyxl' && have_openpyxl=1
have_xlsx2csv=0; need_pkg xlsx2csv command -v xlsx2csv && have_xlsx2csv=1
have_xlrd=0; need_pkg python3-xlrd "$py" -c 'import xlrd' && have_xlrd=1
# catdoc's xls2csv: a reader written in C, the fastest .xls peer at hand.
have_xls2csv=0; need_pkg catdoc command -v xls2csv && have_xls2csv=1
have_unzip=0; need_pkg unzip command -v unzip && have_unzip=1
have_soffice=0; need_pkg libreoffice-calc-nogui command -v soffice && have_soffice=1
have_sheetjs=0
if need_pkg npm command -v npm && command -v node >/dev/null; then
    if (cd "$work" && npm install --silent --no-audit --no-fund --prefix "$work/node" xlsx >/dev/null 2>&1); then
        have_sheetjs=1
    else
        say "SheetJS (npm xlsx) could not be installed: skipped"
    fi
else
    say "node/npm unavailable: SheetJS skipped"
fi
[ "$have_openpyxl" -eq 1 ] || say "openpyxl unavailable: skipped"
[ "$have_xlsx2csv" -eq 1 ] || say "xlsx2csv unavailable: skipped"
[ "$have_xlrd" -eq 1 ] || say "xlrd unavailable: skipped"
[ "$have_xls2csv" -eq 1 ] || say "xls2csv (catdoc) unavailable: skipped"
[ "$have_unzip" -eq 1 ] || say "unzip unavailable: the .xlsx floor is skipped"

# --- files ---------------------------------------------------------------------------------
say "generating the files ..."
# Rows 100,000 as both csv and .xlsx, 65,000 as .xls (through LibreOffice, when it is there).
# The rows cycle through the shipped security master, the one our tool loads by default, so that
# every row resolves; the service would refuse the repeated securities in an upload, but --count
# uploads nothing.
"$build/bin/make_rate_files" --shipped "$work" 100000 >/dev/null
[ -f "$work/rates100000_shipped.xlsx" ] || { say "generator failed"; exit 2; }
xls=""
xls_lo=""
if [ "$have_soffice" -eq 1 ]; then
    "$build/bin/make_rate_files" --shipped "$work" 65000 >/dev/null
    [ -f "$work/rates65000_shipped.xls" ] && xls="$work/rates65000_shipped.xls" ||
        say "LibreOffice did not write the .xls: its case is skipped"
    # The same rows as LibreOffice writes them from a workbook (shared strings, numbers as numbers).
    if [ -f "$work/rates65000_shipped.xlsx" ]; then
        mkdir -p "$work/lo"
        (cd "$work/lo" && cp ../rates65000_shipped.xlsx rates65000_lo.xlsx &&
            soffice --headless -env:UserInstallation="file://$work/lo/profile" --convert-to xls rates65000_lo.xlsx >/dev/null 2>&1)
        [ -f "$work/lo/rates65000_lo.xls" ] && xls_lo="$work/lo/rates65000_lo.xls" ||
            say "LibreOffice did not convert the workbook to .xls: its case is skipped"
    fi
else
    say "LibreOffice unavailable: the .xls case is skipped"
fi

# The peers' scripts: each reads every row, as an upload would.
cat >"$work/openpyxl_read.py" <<'EOF'
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
print(sum(1 for _ in book.worksheets[0].iter_rows(values_only=True)))
EOF
cat >"$work/xlrd_read.py" <<'EOF'
import sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
print(len([sheet.row_values(i) for i in range(sheet.nrows)]))
EOF
cat >"$work/csv_read.py" <<'EOF'
import csv, sys
with open(sys.argv[1], encoding=sys.argv[2], newline="") as f:
    print(sum(1 for _ in csv.reader(f)))
EOF
cat >"$work/sheetjs_read.js" <<'EOF'
const XLSX = require(process.argv[3] + "/node_modules/xlsx");
const book = XLSX.readFile(process.argv[2]);
console.log(XLSX.utils.sheet_to_json(book.Sheets[book.SheetNames[0]], {header: 1}).length);
EOF

# Our tool must read every row and use every one, or its time means nothing: a case it fails has
# no "ours" timed, and its targets FAIL.
check_ours() { # check_ours FILE ROWS
    local out; out="$("$preview" "$1" --count 2>/dev/null)"
    case "$out" in
        *" used $2 skipped "*) return 0 ;; # a csv's final line break reads as one more, empty line
        *) say "creditdata-preview $(basename "$1") --count printed: $out (expected $2 rows used)"; return 1 ;;
    esac
}

failed=0
runs_json="$work/runs.json"
echo "[" >"$runs_json"
first_entry=1
add() { # add CASE TOOL [ENV=VALUE] -- CMD...
    local case_="$1" tool="$2"; shift 2
    local envs=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    [ "$first_entry" -eq 1 ] || echo "," >>"$runs_json"
    first_entry=0
    "$py" - "$case_" "$tool" "${#envs[@]}" "${envs[@]}" "$@" >>"$runs_json" <<'PYEOF'
import json, sys
case, tool, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
envs = dict(e.split("=", 1) for e in sys.argv[4:4 + n])
print(json.dumps({"case": case, "tool": tool, "env": envs, "cmd": sys.argv[4 + n:]}))
PYEOF
}
# ours CASE FILE ROWS: our tool, on the programs' heap and on the C library's default one.
ours() {
    if check_ours "$2" "$3"; then
        add "$1" ours -- "$preview" "$2" --count
        add "$1" "ours, system heap" CREDITDATA_SYSTEM_HEAP=1 -- "$preview" "$2" --count
    else
        failed=1
    fi
}

xlsx="$work/rates100000_shipped.xlsx"
ours xlsx100k "$xlsx" 100000
[ "$have_unzip" -eq 1 ] && add xlsx100k "unzip -p (floor)" -- unzip -p "$xlsx" xl/worksheets/sheet1.xml xl/sharedStrings.xml
[ "$have_openpyxl" -eq 1 ] && add xlsx100k "openpyxl read-only" -- "$py" "$work/openpyxl_read.py" "$xlsx"
[ "$have_xlsx2csv" -eq 1 ] && add xlsx100k xlsx2csv -- xlsx2csv "$xlsx"
[ "$have_sheetjs" -eq 1 ] && add xlsx100k SheetJS -- node "$work/sheetjs_read.js" "$xlsx" "$work/node"

xls_case() { # xls_case CASE FILE
    ours "$1" "$2" 65000
    [ "$have_xlrd" -eq 1 ] && add "$1" xlrd -- "$py" "$work/xlrd_read.py" "$2"
    [ "$have_xls2csv" -eq 1 ] && add "$1" xls2csv -- xls2csv -d utf-8 "$2"
    [ "$have_sheetjs" -eq 1 ] && add "$1" SheetJS -- node "$work/sheetjs_read.js" "$2" "$work/node"
}
[ -n "$xls" ] && xls_case xls65k "$xls"
[ -n "$xls_lo" ] && xls_case xls65k_lo "$xls_lo"

for enc in utf8 gbk; do
    csvfile="$work/rates100000_shipped_$enc.csv"
    pyenc=$([ "$enc" = utf8 ] && echo utf-8 || echo gbk)
    ours "csv100k_$enc" "$csvfile" 100000
    add "csv100k_$enc" "Python csv" -- "$py" "$work/csv_read.py" "$csvfile" "$pyenc"
    add "csv100k_$enc" "cat (floor)" -- cat "$csvfile"
done
echo "]" >>"$runs_json"

say "timing: $runs paired rounds per case (load $(cut -d' ' -f1-3 /proc/loadavg)) ..."
times="$work/times.json"
"$py" "$root/bench/pairedruns.py" "$runs_json" "$runs" "$times" || { say "the timing run failed"; exit 2; }

# --- report --------------------------------------------------------------------------------
"$py" - "$times" <<'PYEOF'
import json, sys
r = json.load(open(sys.argv[1]))
print("\n%-12s %-20s %9s %9s %11s %11s" % ("case", "tool", "wall ms", "CPU ms", "wall p/ours", "CPU p/ours"))
for case, tools in r["cases"].items():
    for tool, e in tools.items():
        wr = "%.2fx" % e["wall_ratio"] if "wall_ratio" in e else "-"
        cr = "%.2fx" % e["cpu_ratio"] if "cpu_ratio" in e else "-"
        print("%-12s %-20s %9.1f %9.1f %11s %11s" % (case, tool, e["wall_ms"], e["cpu_ms"], wr, cr))
print("\nmedians of %d paired rounds; load %s before, %s after" % (
    r["runs"], " ".join("%.2f" % x for x in r["load_before"]), " ".join("%.2f" % x for x in r["load_after"])))
PYEOF
echo

# target [info] CASE FACTOR DESCRIPTION TOOL... : the fastest named peer must take FACTOR times
# our CPU time (the median of the paired per-round ratios). With "info" the outcome judges nothing.
# Without our tool timed (it failed its check) the target fails; only a missing peer skips it.
target() {
    local gate=1
    if [ "$1" = info ]; then gate=0; shift; fi
    local line
    line="$("$py" - "$times" "$@" <<'PYEOF'
import json, sys
r = json.load(open(sys.argv[1]))
case, factor, text, peers = sys.argv[2], float(sys.argv[3]), sys.argv[4], sys.argv[5:]
tools = r["cases"].get(case, {})
# A peer that failed while timed measured nothing: it is named, and not compared with.
failed = [p for p in peers if p in tools and tools[p]["exit"] != [0]]
found = [(tools[p]["cpu_ratio"], p) for p in peers if p in tools and "cpu_ratio" in tools[p] and p not in failed]
for p in failed:
    print("NOTE %s: %s exited with %s while timed, left out" % (text, p, tools[p]["exit"]), file=sys.stderr)
if "ours" not in tools:
    print("FAIL %s: our tool was not timed (it did not use every row)" % text)
    sys.exit(0)
if tools["ours"]["exit"] != [0]:
    print("FAIL %s: our tool exited with %s while timed" % (text, tools["ours"]["exit"]))
    sys.exit(0)
if not found:
    print("SKIP %s: no peer to compare with" % text)
    sys.exit(0)
ratio, who = min(found)
p, o = tools[who], tools["ours"]
print("%s %s: %s CPU %.1f ms (wall %.1f) vs ours CPU %.1f ms (wall %.1f): %.2fx CPU, %.2fx wall" % (
    "PASS" if ratio >= factor else "FAIL", text, who, p["cpu_ms"], p["wall_ms"], o["cpu_ms"], o["wall_ms"],
    ratio, p["wall_ratio"]))
PYEOF
)"
    local verdict="${line%% *}" rest="${line#* }"
    if [ "$verdict" = FAIL ] && [ "$gate" -eq 1 ]; then failed=1; fi
    [ "$gate" -eq 1 ] || [ "$verdict" = SKIP ] || verdict="INFO ($verdict)"
    printf '%s  %s\n' "$verdict" "$rest"
}
target xlsx100k 4 ".xlsx 100k: 4x faster than the fastest peer" "openpyxl read-only" xlsx2csv SheetJS
target xls65k 1 ".xls 65k (make_rate_files): at least as fast as every peer" xlrd SheetJS xls2csv
target xls65k_lo 1 ".xls 65k (LibreOffice from a workbook): at least as fast as every peer" xlrd SheetJS xls2csv
target csv100k_utf8 1 "csv 100k UTF-8: at least as fast as Python's csv" "Python csv"
target csv100k_gbk 1 "csv 100k GBK: at least as fast as Python's csv" "Python csv"
target info xlsx100k 0.3333 ".xlsx 100k: within 3x of unzip -p" "unzip -p (floor)"
for c in xlsx100k xls65k xls65k_lo csv100k_utf8 csv100k_gbk; do
    target info "$c" 1 "$c: the programs' heap settings against the C library's defaults" "ours, system heap"
done

exit "$failed"
