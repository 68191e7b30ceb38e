#!/usr/bin/env bash
# The cost of a code layer: the bundled example badge with a QR code of the person's number
# added (read back from every card) against the example as it is, N rows with --jobs 1; then
# the parts of the code per card (bench/code_steps): encoding and drawing, and reading back.
# Usage: bench/codes.sh [N]        N rows, default 200; ROUNDS=3 rounds, medians.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-200}
rounds=${ROUNDS:-3}
example=$root/examples/badge
steps=$build/bench/code_steps

example_rows "$rows" "$work/rows.csv"
# The example as it is and with a QR code of 工号 in its lower right corner.
"$py" - "$example" "$work" <<'PY'
import json, os, shutil, sys
example, work = sys.argv[1], sys.argv[2]
with open(os.path.join(example, "badge.dat"), encoding="utf-8") as f:
    tpl = json.load(f)
shutil.copy(os.path.join(example, "background.png"), work)
json.dump(tpl, open(os.path.join(work, "plain.dat"), "w", encoding="utf-8"), ensure_ascii=False)
code = dict(tpl["picture_items"][-1])
code.update({"x": 820, "y": 440, "width": 150, "height": 150, "type": 2, "text": "A0001"})
tpl["picture_items"].append(code)
json.dump(tpl, open(os.path.join(work, "code.dat"), "w", encoding="utf-8"), ensure_ascii=False)
PY

declare -A seconds cpu
for ((round = 1; round <= rounds; round++)); do
    for name in plain code; do
        read -r s _ c <<<"$(torvale_run "$work/$name.dat" "$work/rows.csv" 1 "$rows")"
        seconds[$name]+="$s "
        cpu[$name]+="$c "
    done
done
echo "example badge with and without a QR layer, $rows cards, --jobs 1, median of $rounds rounds"
# shellcheck disable=SC2086 # the lists of figures are split on purpose
for name in plain code; do
    s=$(median ${seconds[$name]})
    printf '  %-5s %6.1f cards/s  (%s CPU ms per card)\n' "$name" "$(rate "$rows" "$s")" \
        "$(cpu_ms "$rows" "$(median ${cpu[$name]})")"
done
if [[ -x $steps ]]; then
    "$steps" "$example/badge.dat" 100
else
    echo "($steps not built: the parts of the code are not timed)"
fi
