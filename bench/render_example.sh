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

example_rows "$rows" "$work/rows.csv"

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
