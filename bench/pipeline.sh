#!/usr/bin/env bash
# The card pipeline on the reference workload: peak memory on SMALL and LARGE rows
# (--jobs 2), the cards of --jobs 1 and --jobs 4 compared byte for byte, and, when
# TORVALE_BATCH_BEFORE names an older torvale-batch, this build's cards against that one's
# (bench/compare_cards.py: pixels more than 3 levels apart outside edges, file sizes).
#
# Usage: bench/pipeline.sh [SMALL] [LARGE]      default 200 and 5000 rows
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
small=${1:-200}
large=${2:-5000}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
# shellcheck source=bench/workload.sh
source "$root/bench/workload.sh"
make_workload "$baselines"

for rows in "$small" "$large"; do
    csv=$(rows_csv "$rows")
    read -r s kib _ <<<"$(torvale_run "$work/badge.dat" "$csv" 2 "$rows")"
    printf '%6d rows, --jobs 2: peak %s MiB (%s cards/s)\n' "$rows" "$(mib "$kib")" \
        "$(rate "$rows" "$s")"
done

csv=$(rows_csv "$small")
for jobs in 1 4; do
    "$tool" run "$work/badge.dat" --csv "$csv" --out "$work/jobs-$jobs" --jobs "$jobs" --quiet \
        >/dev/null
done
if diff -r "$work/jobs-1" "$work/jobs-4" >/dev/null; then
    echo "--jobs 1 and --jobs 4: the same bytes in all $small cards"
else
    echo "--jobs 1 and --jobs 4: the cards differ" >&2
    exit 1
fi

if [[ -n ${TORVALE_BATCH_BEFORE:-} ]]; then
    "$TORVALE_BATCH_BEFORE" run "$work/badge.dat" --csv "$csv" --out "$work/before" --quiet \
        >/dev/null
    echo "this build's cards against $TORVALE_BATCH_BEFORE's:"
    "$py" "$root/bench/compare_cards.py" "$work/before" "$work/jobs-1" | tail -1
fi
