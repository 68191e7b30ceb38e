#!/usr/bin/env bash
# Compares how two builds read data files: `rows` (with and without --no-trim) and
# `check --rows` (lines and --json, against every example template) must print the same bytes
# and exit with the same status for every CSV file and workbook in tests/data and examples/,
# and for a set of awkward files made here (blank and out-of-order rows, cells with line
# breaks, quotes, spaces, unclosed quotes, short and long rows).
#
# Usage: bench/compare_rows.sh BEFORE [FILE...]
#   BEFORE   the other build's torvale-batch; this build's (or TORVALE_BATCH) is compared to it
#   FILE...  more data files to compare
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
before=${1:?usage: bench/compare_rows.sh BEFORE [FILE...]}
shift
edge=$work/edge
mkdir -p "$edge"

"$py" - "$root/scripts" "$edge" <<'PY'
import os, sys, zipfile
sys.path.insert(0, sys.argv[1])
from make_workbook import write_workbook
out = sys.argv[2]

def workbook(name, sheet_rows, strings=()):
    """A workbook whose sheet holds sheet_rows (raw <row> elements) and shared strings."""
    path = os.path.join(out, name)
    write_workbook(path + ".tmp", [("S", [list(strings)])])
    with zipfile.ZipFile(path + ".tmp") as src, zipfile.ZipFile(path, "w") as dst:
        for item in src.infolist():
            data = src.read(item)
            if item.filename == "xl/worksheets/sheet1.xml":
                head = data[:data.index(b"<sheetData>") + len(b"<sheetData>")]
                data = head + sheet_rows.encode() + b"</sheetData></worksheet>"
            dst.writestr(item, data)
    os.remove(path + ".tmp")

def cell(ref, text):
    return f'<c r="{ref}" t="inlineStr"><is><t xml:space="preserve">{text}</t></is></c>'

workbook("gaps.xlsx",
         '<row r="2">' + cell("A2", " 姓名 ") + cell("C2", "部门") + '<c r="D2" s="0"/></row>'
         '<row r="4">' + cell("A4", "张三") + '<c t="inlineStr"><is><t>x</t></is></c>'
         '<c><v>3</v></c></row><row r="5"><c r="A5" s="0"/></row>'
         '<row r="6">' + cell("B6", "李四") + '</row><row r="7">' + cell("D7", "多") + '</row>')
workbook("shuffled.xlsx",
         '<row r="1">' + cell("A1", "名") + cell("B1", "注") + '</row><row r="2">' +
         cell("A2", "a") + '</row><row r="9">' + cell("A9", "c") + '</row><row r="3">' +
         cell("A3", "b\nb\r\nb") + '</row><row r="3">' + cell("B3", "again") + '</row>')
workbook("breaks.xlsx",
         '<row r="1">' + cell("A1", "名") + cell("B1", "值") + '</row><row r="2">' +
         cell("A2", "一\n二\n三\n四") + cell("B2", "x") + '</row><row r="3"/><row r="4">' +
         cell("A4", "  ") + '</row><row r="5">' + cell("A5", "\t") + cell("B5", " ") +
         '</row><row r="6">' + cell("B6", "y") + '</row><row r="20">' + cell("A20", "z") +
         '</row>')
workbook("spaces-header.xlsx",
         '<row r="1">' + cell("A1", "  ") + '</row><row r="2">' + cell("A2", "名") +
         '</row><row r="3">' + cell("A3", " ") + '</row><row r="4">' + cell("A4", " v ") +
         '</row>')
workbook("quotes.xlsx",
         '<row r="1">' + cell("A1", "a,b") + cell("B1", '"q"') + cell("C1", "\ufeffmark") +
         '</row><row r="2">' + cell("A2", ' x "y" ') + cell("B2", "1,2,3") +
         cell("C2", "\ufeff") + '</row><row r="3">' + cell("A3", "\t tab \t") + '</row>')
workbook("numbers.xlsx",
         '<row r="1">' + cell("A1", "n") + '</row>' +
         "".join(f'<row r="{i + 2}"><c r="A{i + 2}"><v>{v}</v></c></row>' for i, v in enumerate(
             ["42", "-7", "0.1", "1.5E+21", "1E-10", "123456789012345", "0042", "3.0",
              "1.10101199003071E+17", "-0", "abc", "+5"])))
workbook("empty.xlsx", "")
workbook("blank-rows.xlsx", '<row r="1"/><row r="2"><c r="A2" s="0"/></row>')
write_workbook(os.path.join(out, "two-sheets.xlsx"),
               [("一", [["名", "号"], ["甲", 1], ["乙", True]]), ("二", [["x"], ["y"]])])

csv = {
    "unclosed-header.csv": '名,"注\n甲,1\n',
    "unclosed-row.csv": '名,注\n甲,"1\n乙,2\n',
    "short-long.csv": "a,b,c\n1,2\n1,2,3,4\n\n   \n\t,\t,\t\n x , y ,z\n",
    "crlf.csv": 'a,b\r\n"1\r\n2",3\r\n\r\n4,5\r',
    "quotes.csv": 'a,b\n "x"y , 5"\n"a""b",""\n',
    "mark.csv": "\ufeffa,b\n1,2\n",
}
for name, text in csv.items():
    with open(os.path.join(out, name), "w", encoding="utf-8", newline="") as f:
        f.write(text)
with open(os.path.join(out, "gb18030.csv"), "wb") as f:
    f.write("姓名,部门\n张三,研发\n".encode("gb18030"))
with open(os.path.join(out, "utf16.csv"), "wb") as f:
    f.write("姓名,部门\n张三,研发\n".encode("utf-16"))
PY

files=()
while IFS= read -r -d '' file; do
    files+=("$file")
done < <(find "$root/tests/data" "$root/examples" "$edge" -type f \( -iname '*.csv' -o -iname '*.xlsx' \) -print0 | sort -z)
files+=("$edge/two-sheets.xlsx#二" "$edge/two-sheets.xlsx#三" "$@")
templates=()
while IFS= read -r -d '' file; do
    templates+=("$file")
done < <(find "$root/examples" -name '*.dat' -print0 | sort -z)

# same NAME COMMAND...: runs COMMAND with both builds; says and counts where they differ.
compared=0
differ=0
same() {
    local name=$1 a b
    shift
    a=$work/before
    b=$work/after
    { "$before" "$@" >"$a.out" 2>"$a.err"; echo "exit $?" >"$a.rc"; } || true
    { "$tool" "$@" >"$b.out" 2>"$b.err"; echo "exit $?" >"$b.rc"; } || true
    compared=$((compared + 1))
    if ! cmp -s "$a.out" "$b.out" || ! cmp -s "$a.err" "$b.err" || ! cmp -s "$a.rc" "$b.rc"; then
        differ=$((differ + 1))
        echo "differs: $name" >&2
        diff <(cat "$a.out" "$a.err" "$a.rc") <(cat "$b.out" "$b.err" "$b.rc") | head -10 >&2 || true
    fi
}

out=$work/out
mkdir -p "$out"
for file in "${files[@]}"; do
    same "rows $file" rows "$file"
    same "rows --no-trim $file" rows "$file" --no-trim
    for template in "${templates[@]}"; do
        same "check --rows $template $file" check "$template" --out "$out" --csv "$file" --rows
        same "check --rows --json $template $file" \
            check "$template" --out "$out" --csv "$file" --rows --json
    done
done
for template in "${templates[@]}"; do
    same "check --rows $template" check "$template" --out "$out" --rows
done
echo "${#files[@]} data files, $compared commands: $differ differ"
((differ == 0))
