# shellcheck shell=bash
# The reference badge workload, for the benchmark scripts. Source it after common.sh;
# make_workload BASELINES writes the workload's data into $work/data and its template into
# $work/badge.dat, and sets data.

make_workload() {
    data=$work/data
    "$py" "$1/gen_workload.py" "$data" >/dev/null
    "$py" "$root/bench/make_template.py" "$data" "$work/badge.dat"
}

# rows_csv COUNT: the workload's rows in order, as many as asked; past the 1000 rows of the
# workload they repeat with a suffix on the number, so every card keeps its own file name.
rows_csv() {
    local out=$data/rows-$1.csv
    "$py" - "$data/rows.csv" "$1" "$out" <<'PY'
import csv, sys
source, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(source, newline="", encoding="utf-8") as f:
    table = list(csv.reader(f))
header, rows = table[0], table[1:]
with open(out, "w", newline="", encoding="utf-8") as f:
    w = csv.writer(f, lineterminator="\n")
    w.writerow(header)
    for i in range(n):
        row = list(rows[i % len(rows)])
        if i >= len(rows):
            row[2] += f"-{i // len(rows)}"
        w.writerow(row)
PY
    echo "$out"
}
