# shellcheck shell=bash
# Shared by the benchmark scripts: finds the tool, makes a scratch folder and does the
# arithmetic. Source it; it sets root, tool, py, work. TORVALE_BATCH=/path/to/torvale-batch
# measures that binary instead of the build's.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TORVALE_BUILD_DIR:-$root/build}
tool=${TORVALE_BATCH:-$build/src/torvale-batch}
# Debian's interpreter, which sees python3-pil.
py=/usr/bin/python3

if [[ ! -x $tool ]]; then
    echo "torvale-batch not found at $tool: build first (scripts/build), or set TORVALE_BUILD_DIR or TORVALE_BATCH" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/torvale-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Settings of the tool (mapped fonts, recent files) stay out of the user's own.
export TORVALE_CONFIG_DIR=$work/config
mkdir -p "$TORVALE_CONFIG_DIR"

# timed COMMAND...: prints "SECONDS PEAK_KIB CPU_SECONDS" for one run of COMMAND.
timed() {
    "$py" "$root/bench/timed.py" "$@"
}

# timed_into OUT CARDS COMMAND...: one timed run of COMMAND, which writes CARDS cards into the
# new folder OUT; checks the count (the record of the cards made is no card), removes the
# cards and prints what timed prints. The command's standard error is shown only when it fails.
timed_into() {
    local out=$1 cards=$2 status=0 result written
    shift 2
    result=$(timed "$@" 2>"$work/stderr.txt") || status=$?
    written=$(find "$out" -type f ! -name 制作记录.csv 2>/dev/null | wc -l)
    rm -rf "$out"
    if ((status != 0 || written != cards)); then
        cat "$work/stderr.txt" >&2
        echo "$1: exit $status, $written of $cards cards written" >&2
        return 1
    fi
    echo "$result"
}

# torvale_run TEMPLATE CSV JOBS CARDS: renders every row of CSV into a fresh folder and prints
# "SECONDS PEAK_KIB CPU_SECONDS".
torvale_run() {
    local out=$work/out-torvale
    timed_into "$out" "$4" "$tool" run "$1" --csv "$2" --out "$out" --jobs "$3" --quiet
}

# torvale_jobs_round TEMPLATE CSV CARDS: one run with --jobs 1 and one with --jobs 2, their
# figures appended to the caller's arrays seconds, peak and cpu (indexed by the job count).
torvale_jobs_round() {
    local jobs result s kib c
    for jobs in 1 2; do
        result=$(torvale_run "$1" "$2" "$jobs" "$3")
        read -r s kib c <<<"$result"
        seconds[$jobs]+="$s "
        peak[$jobs]+="$kib "
        cpu[$jobs]+="$c "
    done
}

# example_rows N OUT: N data rows of the bundled example badge into the CSV file OUT: its rows
# over and over, each with its own number (so every card gets its own file name) and the photo
# as an absolute path.
example_rows() {
    "$py" - "$root/examples/badge" "$1" "$2" <<'PY'
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
}

# median VALUE...: the median of the values.
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# rate CARDS SECONDS: cards per second.
rate() {
    awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'
}

# cpu_ms CARDS CPU_SECONDS: CPU milliseconds per card.
cpu_ms() {
    awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", 1000 * s / n }'
}

# ratio A B: A / B with two decimals.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

# mib KIB: kibibytes as mebibytes.
mib() {
    awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'
}
