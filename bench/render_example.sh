#!/usr/bin/env bash
# Renders the bundled example badge (examples/badge) N times with one and with two jobs and
# prints cards per second for each.
# Usage: bench/render_example.sh [N]        N rows, default 200; ROUNDS=3 rounds, medians.
# Needs a built tool: build/src/torvale-batch, or $TORVALE_BUILD_DIR/src/torvale-batch.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-200}
rounds=${ROUNDS:-3}
example=$root/examples/badge

# N data rows: the example's rows over and over, each with its own number (so every card
# gets its own file name) and the photo as an absolute path.
"$py" - "$example" "$rows" "$work/rows.csv" <<'PY'
import csv, os, sys
example, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(os.path.join(example, "staff.csv"), newline="", encoding="utf-8") as f:
    table = list(csv.reader(f))
header, rows = table[0], table[1:]
number, photo = header.index("工号"), header.index("照片")
with open(out, "w", newline="", encoding="utf-8") as f:
    w = csv.writer(f, lineterminator="\n")
    w.writerow(header)
    for i in range(n):
        row = list(rows[i % len(rows)])
        row[number] = f"A{i + 1:06d}"
        row[photo] = os.path.join(example, row[photo])
        w.writerow(row)
PY

declare -A seconds peak cpu
for ((round = 1; round <= rounds; round++)); do
    torvale_jobs_round "$example/badge.dat" "$work/rows.csv" "$rows"
done

echo "example badge, $rows cards, median of $rounds rounds (wall clock, start-up included)"
# shellcheck disable=SC2086 # the lists of figures are split on purpose
for jobs in 1 2; do
    s=$(median ${seconds[$jobs]})
    printf '  jobs %d: %6.1f cards/s  (%.2f s, %s CPU ms per card)\n' "$jobs" "$(rate "$rows" "$s")" \
        "$s" "$(cpu_ms "$rows" "$(median ${cpu[$jobs]})")"
done
