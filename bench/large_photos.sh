#!/usr/bin/env bash
# The reference badge workload with phone-sized photos: every row's photo is one of ten
# 4000 x 3000 JPEGs. Prints Torvale's cards per second with one and with two jobs (medians
# of interleaved rounds) and its peak memory.
#
# Usage: bench/large_photos.sh [ROWS]      ROWS default 200, at most 1000
#   ROUNDS=3, TORVALE_BASELINES and TORVALE_BUILD_DIR as for bench/reference.sh
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
rows=${1:-200}
rounds=${ROUNDS:-3}
baselines=${TORVALE_BASELINES:-$root/../shared/bench}
if [[ ! -f $baselines/gen_workload.py ]]; then
    echo "$baselines/gen_workload.py not found: set TORVALE_BASELINES" >&2
    exit 2
fi
if ((rows > 1000)); then
    echo "the workload has 1000 rows" >&2
    exit 2
fi

data=$work/data
"$py" "$baselines/gen_workload.py" "$data" >/dev/null
"$py" "$root/bench/make_template.py" "$data" "$work/badge.dat"

# Ten landscape photos as a phone takes them: smooth shading, a figure, fine noise (so the
# JPEG data is not trivially small), quality 92. Same bytes on every run.
"$py" - "$data" "$rows" <<'PY'
import csv, os, random, sys
from PIL import Image, ImageDraw, ImageFilter
data, n = sys.argv[1], int(sys.argv[2])
W, H, COUNT = 4000, 3000, 10
os.makedirs(os.path.join(data, "large"), exist_ok=True)
rng = random.Random(4000)
for i in range(COUNT):
    base = Image.linear_gradient("L").resize((W, H)).convert("RGB")
    tint = Image.new("RGB", (W, H), tuple(rng.randrange(60, 200) for _ in range(3)))
    img = Image.blend(base, tint, 0.6)
    d = ImageDraw.Draw(img)
    cx = W // 2 + rng.randrange(-400, 401)
    d.ellipse([cx - 900, 1900, cx + 900, 3600], fill=tuple(rng.randrange(0, 140) for _ in range(3)))
    d.ellipse([cx - 500, 500, cx + 500, 1900], fill=tuple(rng.randrange(150, 240) for _ in range(3)))
    noise = Image.frombytes("RGB", (W // 4, H // 4), rng.randbytes((W // 4) * (H // 4) * 3))
    img = Image.blend(img, noise.resize((W, H), Image.BILINEAR), 0.12)
    img = img.filter(ImageFilter.SMOOTH)
    img.save(os.path.join(data, "large", f"l{i:02d}.jpg"), quality=92)
with open(os.path.join(data, "rows.csv"), newline="", encoding="utf-8") as f:
    table = list(csv.reader(f))
with open(os.path.join(data, "rows-large.csv"), "w", newline="", encoding="utf-8") as f:
    w = csv.writer(f, lineterminator="\n")
    w.writerow(table[0])
    for i, row in enumerate(table[1:n + 1]):
        w.writerow(row[:3] + [f"large/l{i % COUNT:02d}.jpg"])
PY

declare -A seconds peak cpu
for ((round = 1; round <= rounds; round++)); do
    echo "round $round/$rounds..." >&2
    torvale_jobs_round "$work/badge.dat" "$data/rows-large.csv" "$rows"
done

echo "4000 x 3000 photos, $rows rows, median of $rounds rounds (wall clock, start-up included)"
# shellcheck disable=SC2086 # the lists of figures are split on purpose
for jobs in 1 2; do
    printf '  Torvale --jobs %d  %6s cards/s   %5s CPU ms per card   peak %s MiB\n' "$jobs" \
        "$(rate "$rows" "$(median ${seconds[$jobs]})")" \
        "$(cpu_ms "$rows" "$(median ${cpu[$jobs]})")" "$(mib "$(median ${peak[$jobs]})")"
done
