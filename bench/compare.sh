#!/usr/bin/env bash
# Reads the same conversion-rate files with our preview tool and with what a user would pick
# instead, whole process against whole process, and checks the speed targets against the peers
# (.xlsx and .xls); the csv rows and the unzip -p floor are printed for information.
#
#   bash bench/compare.sh [--runs N] [--build DIR]
#
# Exit 0 when every target is met, 1 when one is missed, 2 when the run itself could not be made.
# Peers that cannot be installed are skipped with a message; a target with no peer left is not
# judged. Needs root (or sudo) to install missing peers; SheetJS goes into a temporary folder.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
runs=7
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs="$2"; shift 2 ;;
        --build) build="$2"; shift 2 ;;
        -h|--help) sed -n 2,10p "$0"; exit 0 ;;
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
"$build/bin/make_rate_files" "$work" 100000 >/dev/null
[ -f "$work/rates100000.xlsx" ] || { say "generator failed"; exit 2; }
xls=""
if [ "$have_soffice" -eq 1 ]; then
    "$build/bin/make_rate_files" "$work" 65000 >/dev/null
    [ -f "$work/rates65000.xls" ] && xls="$work/rates65000.xls" || say "LibreOffice did not write the .xls: its case is skipped"
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

# Our tool must read every row and use every one, or its time means nothing.
check_ours() { # check_ours FILE ROWS
    local out; out="$("$preview" "$1" --count 2>/dev/null)"
    case "$out" in
        *" used $2 skipped "*) return 0 ;; # a csv's final line break reads as one more, empty line
        *) say "creditdata-preview $(basename "$1") --count printed: $out (expected $2 rows used)"; return 1 ;;
    esac
}

# median_ms NAME CMD... -> prints the median wall time in milliseconds.
median_ms() {
    local name="$1"; shift
    if [ "$have_hyperfine" -eq 1 ]; then
        local json="$work/$name.json" cmd=""
        local a; for a in "$@"; do cmd+="$(printf '%q ' "$a")"; done
        hyperfine -N --warmup 1 --runs "$runs" --export-json "$json" "$cmd" >/dev/null 2>&1 ||
            { say "$name: hyperfine failed"; echo ""; return; }
        "$py" -c 'import json,sys; print("%.1f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
    else
        local times=() i start end
        "$@" >/dev/null 2>&1
        for ((i = 0; i < runs; i++)); do
            start=$(date +%s%N); "$@" >/dev/null 2>&1; end=$(date +%s%N)
            times+=($(((end - start) / 1000)))
        done
        printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {m = NR % 2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2; printf "%.1f\n", m/1000}'
    fi
}

declare -A result
failed=0
rows=()
measure() { # measure CASE TOOL CMD...
    local case_="$1" tool="$2"; shift 2
    say "timing $case_: $tool ..."
    local ms; ms="$(median_ms "${case_}_${tool//[^a-zA-Z0-9]/_}" "$@")"
    [ -n "$ms" ] || return
    result["$case_|$tool"]="$ms"
    rows+=("$case_|$tool")
}

xlsx="$work/rates100000.xlsx"
if check_ours "$xlsx" 100000; then
    measure xlsx100k ours "$preview" "$xlsx" --count
else
    failed=1
fi
[ "$have_unzip" -eq 1 ] && measure xlsx100k "unzip -p (floor)" unzip -p "$xlsx" xl/worksheets/sheet1.xml xl/sharedStrings.xml
[ "$have_openpyxl" -eq 1 ] && measure xlsx100k "openpyxl read-only" "$py" "$work/openpyxl_read.py" "$xlsx"
[ "$have_xlsx2csv" -eq 1 ] && measure xlsx100k xlsx2csv xlsx2csv "$xlsx"
[ "$have_sheetjs" -eq 1 ] && measure xlsx100k SheetJS node "$work/sheetjs_read.js" "$xlsx" "$work/node"

if [ -n "$xls" ]; then
    if check_ours "$xls" 65000; then
        measure xls65k ours "$preview" "$xls" --count
    else
        failed=1
    fi
    [ "$have_xlrd" -eq 1 ] && measure xls65k xlrd "$py" "$work/xlrd_read.py" "$xls"
    [ "$have_xls2csv" -eq 1 ] && measure xls65k xls2csv xls2csv -d utf-8 "$xls"
    [ "$have_sheetjs" -eq 1 ] && measure xls65k SheetJS node "$work/sheetjs_read.js" "$xls" "$work/node"
fi

for enc in utf8 gbk; do
    csvfile="$work/rates100000_$enc.csv"
    pyenc=$([ "$enc" = utf8 ] && echo utf-8 || echo gbk)
    if check_ours "$csvfile" 100000; then
        measure "csv100k_$enc" ours "$preview" "$csvfile" --count
    else
        failed=1
    fi
    measure "csv100k_$enc" "Python csv" "$py" "$work/csv_read.py" "$csvfile" "$pyenc"
    measure "csv100k_$enc" "cat (floor)" cat "$csvfile"
done

# --- report --------------------------------------------------------------------------------
printf '\n%-14s %-20s %12s %14s\n' case tool "median ms" "peer / ours"
for key in "${rows[@]}"; do
    case_="${key%%|*}"; tool="${key#*|}"
    ours="${result[$case_|ours]:-}"
    ratio="-"
    if [ "$tool" != ours ] && [ -n "$ours" ]; then
        ratio="$(awk -v p="${result[$key]}" -v o="$ours" 'BEGIN { printf "%.2fx", p / o }')"
    fi
    printf '%-14s %-20s %12s %14s\n' "$case_" "$tool" "${result[$key]}" "$ratio"
done
echo

# target CASE FACTOR DESCRIPTION TOOL... : the fastest named peer must take FACTOR times ours.
# With "info" before CASE the outcome is printed and judges nothing.
target() {
    local gate=1
    if [ "$1" = info ]; then gate=0; shift; fi
    local case_="$1" factor="$2" text="$3"; shift 3
    local ours="${result[$case_|ours]:-}" best="" who="" t
    for t in "$@"; do
        local v="${result[$case_|$t]:-}"
        [ -n "$v" ] || continue
        if [ -z "$best" ] || awk -v a="$v" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$v"; who="$t"; fi
    done
    if [ -z "$ours" ] || [ -z "$best" ]; then
        echo "SKIP  $text: nothing to compare"
        return
    fi
    local verdict
    if awk -v p="$best" -v o="$ours" -v f="$factor" 'BEGIN { exit !(p >= f * o) }'; then
        verdict=PASS
    else
        verdict=FAIL
        [ "$gate" -eq 1 ] && failed=1
    fi
    [ "$gate" -eq 1 ] || verdict="INFO ($verdict)"
    printf '%s  %s: %s %.1f ms vs ours %.1f ms\n' "$verdict" "$text" "$who" "$best" "$ours"
}
target xlsx100k 4 ".xlsx 100k: 4x faster than the fastest peer" "openpyxl read-only" xlsx2csv SheetJS
target xls65k 1 ".xls 65k: at least as fast as every peer" xlrd SheetJS xls2csv
# Whole processes of a few tens of milliseconds measure start-up as much as reading: shown, not judged.
target info xlsx100k 0.3333 ".xlsx 100k: within 3x of unzip -p" "unzip -p (floor)"
target info csv100k_utf8 2 "csv 100k UTF-8: 2x faster than Python's csv" "Python csv"
target info csv100k_gbk 2 "csv 100k GBK: 2x faster than Python's csv" "Python csv"

exit "$failed"
