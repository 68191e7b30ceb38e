#!/usr/bin/env bash
# Print sheets against card files: the reference badge workload made into one PDF file with
# `torvale-batch sheet` and into card files with `run`, both with --jobs 2, in interleaved
# rounds. Prints cards per second of each (medians), the ratio sheet / run, and the peak
# memory of `sheet` on 200 rows and on ROWS rows.
#
# Usage: bench/sheet.sh [ROWS]          ROWS default 1000 (the workload's rows)
#   ROUNDS=3          rounds; each round runs `run` and `sheet` once
#   TORVALE_BASELINES the folder of gen_workload.py (default ../shared/bench beside the
#                     repository)
#   TORVALE_BUILD_DIR the build folder holding src/torvale-batch (default build/)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-1000}
rounds=${ROUNDS:-3}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
if [[ ! -f $baselines/gen_workload.py ]]; then
    echo "$baselines/gen_workload.py not found: set TORVALE_BASELINES" >&2
    exit 2
fi
if ((rows < 200 || rows > 1000)); then
    echo "ROWS must be from 200 to the workload's 1000 rows" >&2
    exit 2
fi

# shellcheck source=bench/workload.sh
source "$root/bench/workload.sh"
make_workload "$baselines"

# sheet_run CSV: the cards of every row of CSV into one PDF file in a fresh folder, which is
# checked (pdfinfo reads it) and removed; prints "SECONDS PEAK_KIB CPU_SECONDS".
sheet_run() {
    local out=$work/out-sheet status=0 result
    mkdir -p "$out"
    result=$(timed "$tool" sheet "$work/badge.dat" --csv "$1" --out "$out/cards.pdf" --jobs 2 \
        --quiet 2>"$work/stderr.txt") || status=$?
    if ((status != 0)) || ! pdfinfo "$out/cards.pdf" >/dev/null 2>&1; then
        cat "$work/stderr.txt" >&2
        echo "sheet: exit $status, no readable PDF file" >&2
        return 1
    fi
    rm -rf "$out"
    echo "$result"
}

csv=$(rows_csv "$rows")
declare -a run_s sheet_s run_cpu sheet_cpu
for ((round = 1; round <= rounds; round++)); do
    echo "round $round/$rounds..." >&2
    read -r s _ c <<<"$(torvale_run "$work/badge.dat" "$csv" 2 "$rows")"
    run_s+=("$s")
    run_cpu+=("$c")
    read -r s _ c <<<"$(sheet_run "$csv")"
    sheet_s+=("$s")
    sheet_cpu+=("$c")
done
rate_run=$(rate "$rows" "$(median "${run_s[@]}")")
rate_sheet=$(rate "$rows" "$(median "${sheet_s[@]}")")

# Memory against the number of rows, beside that of `run`, whose cache of repeated text boxes
# grows up to 8 MiB of pixels over the first rows.
small_csv=$(rows_csv 200)
read -r _ small_kib _ <<<"$(sheet_run "$small_csv")"
read -r _ big_kib _ <<<"$(sheet_run "$csv")"
read -r _ run_small_kib _ <<<"$(torvale_run "$work/badge.dat" "$small_csv" 2 200)"
read -r _ run_big_kib _ <<<"$(torvale_run "$work/badge.dat" "$csv" 2 "$rows")"

echo "reference workload, $rows rows, --jobs 2, median of $rounds rounds (wall clock, start-up included)"
printf '  %-22s %6s cards/s  %5s CPU ms/card\n' \
    "run (card files)" "$rate_run" "$(cpu_ms "$rows" "$(median "${run_cpu[@]}")")" \
    "sheet (one PDF file)" "$rate_sheet" "$(cpu_ms "$rows" "$(median "${sheet_cpu[@]}")")"
echo "  sheet / run: $(ratio "$rate_sheet" "$rate_run")"
echo "peak memory:"
printf '  %6d rows: sheet %s MiB, run %s MiB\n' \
    200 "$(mib "$small_kib")" "$(mib "$run_small_kib")" \
    "$rows" "$(mib "$big_kib")" "$(mib "$run_big_kib")"
