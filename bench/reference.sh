#!/usr/bin/env bash
# The reference badge workload against two other ways of making the same cards, in one run:
#   A  one ImageMagick `convert` process per row     (baseline_a_convert.sh)
#   B  Pillow in one process, background decoded once (baseline_b_pillow.py --bg-once)
#   Torvale with --jobs 1 and --jobs 2
# Prints cards per second (medians of interleaved rounds), Torvale's ratios to A and B, its
# peak memory, and its peak memory on ROWS and on 5 x ROWS rows.
#
# Usage: bench/reference.sh [ROWS]      ROWS default 200
#   ROUNDS=3          rounds; each round runs A, B, Torvale jobs 1 and jobs 2 once
#   A_ROWS=ROWS       rows for baseline A (it is slow; its rate hardly depends on the count)
#   TORVALE_BASELINES the folder of gen_workload.py and the baselines (default ../shared/bench
#                     beside the repository)
#   TORVALE_BUILD_DIR the build folder holding src/torvale-batch (default build/)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-200}
rounds=${ROUNDS:-3}
a_rows=${A_ROWS:-$rows}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
for file in gen_workload.py baseline_a_convert.sh baseline_b_pillow.py; do
    if [[ ! -f $baselines/$file ]]; then
        echo "$baselines/$file not found: set TORVALE_BASELINES" >&2
        exit 2
    fi
done
if ((a_rows > 1000 || rows > 1000)); then
    echo "the baselines read at most the workload's 1000 rows" >&2
    exit 2
fi
# The baselines must run the system's own ImageMagick, not a wrapper earlier on PATH.
export PATH=/usr/bin:$PATH

# shellcheck source=bench/workload.sh
source "$root/bench/workload.sh"
make_workload "$baselines"
csv=$(rows_csv "$rows")

declare -A seconds peak cpu
for ((round = 1; round <= rounds; round++)); do
    echo "round $round/$rounds..." >&2
    result=$(timed_into "$work/out-a" "$a_rows" \
        "$baselines/baseline_a_convert.sh" "$data" "$work/out-a" "$a_rows")
    read -r s _ c <<<"$result"
    seconds[A]+="$s "
    cpu[A]+="$c "
    result=$(timed_into "$work/out-b" "$rows" \
        "$py" "$baselines/baseline_b_pillow.py" "$data" "$work/out-b" "$rows" --bg-once)
    read -r s _ c <<<"$result"
    seconds[B]+="$s "
    cpu[B]+="$c "
    torvale_jobs_round "$work/badge.dat" "$csv" "$rows"
done

# shellcheck disable=SC2086
{
    rate_a=$(rate "$a_rows" "$(median ${seconds[A]})")
    rate_b=$(rate "$rows" "$(median ${seconds[B]})")
    rate_1=$(rate "$rows" "$(median ${seconds[1]})")
    rate_2=$(rate "$rows" "$(median ${seconds[2]})")
    cpu_a=$(cpu_ms "$a_rows" "$(median ${cpu[A]})")
    cpu_b=$(cpu_ms "$rows" "$(median ${cpu[B]})")
    cpu_1=$(cpu_ms "$rows" "$(median ${cpu[1]})")
    cpu_2=$(cpu_ms "$rows" "$(median ${cpu[2]})")
    peak_1=$(mib "$(median ${peak[1]})")
    peak_2=$(mib "$(median ${peak[2]})")
}

# Memory against the number of rows: the same cards, five times as many rows.
big_csv=$(rows_csv $((rows * 5)))
result=$(torvale_run "$work/badge.dat" "$csv" 2 "$rows")
read -r _ small_kib <<<"$result"
result=$(torvale_run "$work/badge.dat" "$big_csv" 2 $((rows * 5)))
read -r big_s big_kib <<<"$result"

echo "reference workload, $rows rows ($a_rows for A), median of $rounds rounds (wall clock, start-up included)"
printf '  %-28s %6s cards/s  %5s CPU ms/card\n' \
    "A  convert per row" "$rate_a" "$cpu_a" "B  Pillow, background once" "$rate_b" "$cpu_b"
printf '  %-28s %6s cards/s  %5s CPU ms/card  %5sx A  %5sx B  peak %s MiB\n' \
    "Torvale --jobs 1" "$rate_1" "$cpu_1" "$(ratio "$rate_1" "$rate_a")" "$(ratio "$rate_1" "$rate_b")" "$peak_1" \
    "Torvale --jobs 2" "$rate_2" "$cpu_2" "$(ratio "$rate_2" "$rate_a")" "$(ratio "$rate_2" "$rate_b")" "$peak_2"
echo "memory against rows (Torvale --jobs 2):"
printf '  %6d rows: peak %s MiB\n' "$rows" "$(mib "$small_kib")"
printf '  %6d rows: peak %s MiB   (%s cards/s)\n' $((rows * 5)) "$(mib "$big_kib")" \
    "$(rate $((rows * 5)) "$big_s")"
