#!/usr/bin/env bash
# The texts of the reference badge workload (name, department, number) laid out and drawn per
# card on one thread, as a batch worker draws them (bench/text_steps, built with the tool).
# Usage: bench/text.sh [ROWS]      ROWS default 1000
#   TORVALE_BASELINES the folder of gen_workload.py (default ../shared/bench)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-1000}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
steps=$build/bench/text_steps
if [[ ! -x $steps ]]; then
    echo "$steps not built" >&2
    exit 2
fi
# shellcheck source=bench/workload.sh
source "$root/bench/workload.sh"
make_workload "$baselines"
"$steps" "$work/badge.dat" "$(rows_csv "$rows")"
