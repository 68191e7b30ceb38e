#!/usr/bin/env bash
# Reading a large workbook: ROWS rows (default 100 000) of the example badge's people in one
# worksheet (and the same rows as a CSV file, for comparison), through `torvale-batch columns`
# and `rows`: seconds and peak memory, the median of ROUNDS runs. Then the same workbook with
# one hostile tag: an attribute of ATTR_MB of random letters on its second row.
#
# Usage: bench/workbook.sh [ROWS]     ROWS default 100000
#   ROUNDS=3            runs
#   ATTR_MB=100         the attribute's size
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-100000}
rounds=${ROUNDS:-3}
csv=$work/staff.csv
xlsx=$work/staff.xlsx
example_rows "$rows" "$csv"
"$py" - "$root/scripts" "$csv" "$xlsx" <<'PY'
import csv, sys
sys.path.insert(0, sys.argv[1])
from make_workbook import write_workbook
with open(sys.argv[2], newline="", encoding="utf-8") as f:
    table = list(csv.reader(f))
write_workbook(sys.argv[3], [("员工", table)])
PY
echo "$rows rows: workbook $(($(stat -c %s "$xlsx") / 1024)) KiB, CSV $(($(stat -c %s "$csv") / 1024)) KiB"

# measure COMMAND FILE: "SECONDS PEAK_MIB" of the median run.
measure() {
    local times="" peaks="" s p
    for ((round = 1; round <= rounds; round++)); do
        read -r s p _ <<<"$(timed "$tool" "$1" "$2")"
        times+="$s "
        peaks+="$p "
    done
    # shellcheck disable=SC2086
    echo "$(median $times) s, peak $(mib "$(median $peaks)") MiB"
}

# The workbook must read as its CSV twin, or the figures mean nothing.
if ! cmp -s <("$tool" rows "$csv") <("$tool" rows "$xlsx"); then
    echo "the workbook's rows differ from the CSV file's" >&2
    exit 1
fi
for command in columns rows; do
    echo "$command, workbook: $(measure "$command" "$xlsx")"
    echo "$command, CSV:      $(measure "$command" "$csv")"
done

# The hostile tag: a parser fed in small chunks would read it again from its start with each.
attr_xlsx=$work/attribute.xlsx
"$py" - "$xlsx" "$attr_xlsx" "${ATTR_MB:-100}" <<'PY'
import base64, os, sys, zipfile
source, target, mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
letters = base64.b64encode(os.urandom(mib * 3 << 18))
with zipfile.ZipFile(source) as src, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as out:
    for item in src.infolist():
        data = src.read(item)
        if item.filename.startswith("xl/worksheets/"):
            at = data.index(b"<row", data.index(b"<row") + 1) + 4
            data = data[:at] + b' x="' + letters + b'"' + data[at:]
        out.writestr(item.filename, data)
PY
echo "rows, one ${ATTR_MB:-100} MiB attribute: $(measure rows "$attr_xlsx")"
