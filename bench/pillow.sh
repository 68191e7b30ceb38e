#!/usr/bin/env bash
# Torvale against a Pillow script on the reference badge workload, in one run: Torvale with
# --jobs 1 and --jobs 2, Pillow with the background decoded once (baseline B, one thread) and
# Pillow's encode-only floor (one finished card JPEG-encoded and written ROWS times), interleaved
# over the rounds. Prints cards per second and CPU milliseconds per card of each, and the
# ratios: Torvale's cards per second over Pillow's, Torvale's CPU per card over Pillow's, and
# Torvale's time per card over the encode floor's.
#
# Usage: bench/pillow.sh [ROWS]      ROWS default 200 (at most the workload's 1000)
#   ROUNDS=3          rounds; each runs the four once, in turn
#   TORVALE_BASELINES the folder of gen_workload.py and baseline_b_pillow.py (default
#                     ../shared/bench beside the repository)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-200}
rounds=${ROUNDS:-3}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
for file in gen_workload.py baseline_b_pillow.py; do
    if [[ ! -f $baselines/$file ]]; then
        echo "$baselines/$file not found: set TORVALE_BASELINES" >&2
        exit 2
    fi
done
if ((rows > 1000)); then
    echo "the workload has 1000 rows" >&2
    exit 2
fi

# shellcheck source=bench/workload.sh
source "$root/bench/workload.sh"
make_workload "$baselines"
csv=$(rows_csv "$rows")

declare -A seconds peak cpu
pillow_round() {
    local name=$1 result s c
    shift
    result=$(timed_into "$work/out-$name" "$rows" \
        "$py" "$baselines/baseline_b_pillow.py" "$data" "$work/out-$name" "$rows" "$@")
    read -r s _ c <<<"$result"
    seconds[$name]+="$s "
    cpu[$name]+="$c "
}
for ((round = 1; round <= rounds; round++)); do
    echo "round $round/$rounds..." >&2
    torvale_jobs_round "$work/badge.dat" "$csv" "$rows"
    pillow_round B --bg-once
    pillow_round floor --encode-only
done

declare -A rate_of cpu_of
# shellcheck disable=SC2086
for name in 1 2 B floor; do
    rate_of[$name]=$(rate "$rows" "$(median ${seconds[$name]})")
    cpu_of[$name]=$(cpu_ms "$rows" "$(median ${cpu[$name]})")
done

echo "reference workload, $rows rows, median of $rounds interleaved rounds (wall clock, start-up included)"
printf '  %-32s %6s cards/s  %5s CPU ms/card\n' \
    "Torvale --jobs 1" "${rate_of[1]}" "${cpu_of[1]}" \
    "Torvale --jobs 2" "${rate_of[2]}" "${cpu_of[2]}" \
    "Pillow, background once" "${rate_of[B]}" "${cpu_of[B]}" \
    "Pillow, encode only (floor)" "${rate_of[floor]}" "${cpu_of[floor]}"
echo "ratios:"
printf '  %-44s %s\n' \
    "Torvale --jobs 1 / Pillow, cards per second" "$(ratio "${rate_of[1]}" "${rate_of[B]}")" \
    "Torvale --jobs 2 / Pillow, cards per second" "$(ratio "${rate_of[2]}" "${rate_of[B]}")" \
    "Torvale --jobs 1 / Pillow, CPU per card" "$(ratio "${cpu_of[1]}" "${cpu_of[B]}")" \
    "Torvale --jobs 2 / Pillow, CPU per card" "$(ratio "${cpu_of[2]}" "${cpu_of[B]}")" \
    "Torvale --jobs 1 time per card / floor's" "$(ratio "${rate_of[floor]}" "${rate_of[1]}")"
