#!/usr/bin/env bash
# `check --rows` on ROWS rows of the reference badge workload: seconds, rows per second and
# peak memory (median of ROUNDS runs). The target is 10 000 rows in under 5 seconds.
#
# Usage: bench/check_rows.sh [ROWS]     ROWS default 10000
#   ROUNDS=3            runs
#   TORVALE_BASELINES   the folder of gen_workload.py (default ../shared/bench beside the
#                       repository)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
# shellcheck source=bench/workload.sh
source "$root/bench/workload.sh"
rows=${1:-10000}
rounds=${ROUNDS:-3}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
if [[ ! -f $baselines/gen_workload.py ]]; then
    echo "$baselines/gen_workload.py not found: set TORVALE_BASELINES" >&2
    exit 2
fi
make_workload "$baselines"
csv=$(rows_csv "$rows")
mkdir -p "$work/out"

times=""
peaks=""
for ((round = 1; round <= rounds; round++)); do
    status=0
    result=$(timed "$tool" check "$work/badge.dat" --out "$work/out" --csv "$csv" --rows \
        2>"$work/stderr.txt") || status=$?
    # Exit 1 only means problems were found; anything else is a failure.
    if ((status > 1)); then
        cat "$work/stderr.txt" >&2
        exit 1
    fi
    read -r s p _ <<<"$result"
    times+="$s "
    peaks+="$p "
done
# shellcheck disable=SC2086
{
    seconds=$(median $times)
    peak=$(median $peaks)
}
problems=$("$tool" check "$work/badge.dat" --out "$work/out" --csv "$csv" --rows 2>/dev/null | wc -l || true)
echo "check --rows, $rows rows: $seconds s ($(rate "$rows" "$seconds") rows/s), peak $((peak / 1024)) MiB, $problems problems"
