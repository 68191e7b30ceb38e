#!/usr/bin/env bash
# Hostile input: what one batch costs when its rows point at unreasonable things. Each
# measurement is one run of `torvale-batch run` and prints one line: what, the figure and
# the parameters.
#
# Usage: bench/hostile.sh [gif|large|names]...      all three when none is named
#   gif    peak memory of one card whose picture is a GIF of FRAMES 1 x 1 frames
#          (FRAMES default 300000, about 7 MB)
#   large  peak memory of --jobs 8 over 8 rows, each naming its own file of SIZE_MB
#          (default 500) that starts like a JPEG and holds only zeros after that; the files
#          are sparse, so they take no disk, and they do not decode
#   names  wall time of ROWS rows (default 20000) that all name their card the same, --jobs 2
#
#   LIMIT_GIB=8   address-space limit of the gif run (0: none), so that a binary which keeps
#                 every frame fails instead of taking the machine down (it may still write
#                 the card, without the picture: the line says when the peak nears the limit)
#   TORVALE_BATCH=/path/to/torvale-batch, or TORVALE_BUILD_DIR, picks the binary.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
frames=${FRAMES:-300000}
size_mb=${SIZE_MB:-500}
rows=${ROWS:-20000}
limit_gib=${LIMIT_GIB:-8}
# The layers the cards are made of: the name as text, and a picture over the whole card.
name_layer='{"x": 10, "y": 20, "width": 180, "height": 60, "bind_col_name": "name",
    "text": "name", "fontSize": 20}'
picture_layer='{"type": 1, "bind_col_name": "photo", "overflow_style": 3}'

# template FILE CSV LAYERS_JSON: writes a 200 x 100 white custom-canvas template over CSV
# (the file-name column is matched against its header when the template is read) with the
# layers (each given by the fields that differ from a text layer over the whole card), JPG,
# files named after the name column.
template() {
    "$py" - "$@" <<'PY'
import json, sys
out, csv_path, layers = sys.argv[1], sys.argv[2], json.loads(sys.argv[3])
base = {
    "x": 0, "y": 0, "width": 200, "height": 100, "type": 0, "bind_col_name": "", "text": "",
    "fontName": "DejaVu Sans", "fontSize": 12, "isBold": 0, "isUnderline": 0, "isItalic": 0,
    "color": 0, "htmlColor": "#000000", "tHAlign": 0, "tVAlign": 1, "characterSpacing": 0,
    "filePath": "", "pHAlign": 1, "pVAlign": 1, "layer_level": 0, "overflow_style": 1,
}
template = {
    "background_type": 1, "width": "200", "height": "100", "szWidth": "200",
    "szHeight": "100", "unit": 0, "dpi": 300, "background_color": "#ffffff",
    "csv_file_path": csv_path, "is_trim_csv_cell_value": 1, "pictures_show_select_area": 1,
    "pictures_show_picture": 1, "picture_items": [dict(base, **layer) for layer in layers],
    "format": "JPG", "quality": 90, "colorspace": "sRGB",
    "file_name_bind_col_name": "name", "file_name_bind_col_name2": "",
}
with open(out, "w", encoding="utf-8") as f:
    json.dump(template, f, ensure_ascii=False, indent="\t")
PY
}

# measure OUT CARDS COMMAND...: one timed run of COMMAND, which should write CARDS cards into
# the new folder OUT. Sets seconds, kib, cpu (user + system seconds) and note: empty when the
# run went as it should, otherwise the exit status, the cards written and the first problem
# the tool reported.
measure() {
    local out=$1 cards=$2 status=0 result written problems
    shift 2
    result=$(timed "$@" 2>"$work/stderr.txt") || status=$?
    written=$(find "$out" -type f ! -name 制作记录.csv 2>/dev/null | wc -l)
    rm -rf "$out"
    read -r seconds kib cpu <<<"$result"
    note=""
    if ((status != 0 || written != cards)); then
        problems=$(grep -c . "$work/stderr.txt" || true)
        note="; exit $status, $written of $cards cards written, $problems lines on stderr"
        if ((problems > 0)); then
            note+=", first: $(head -n 1 "$work/stderr.txt" | cut -c 1-120)"
        fi
    fi
}

# One card whose picture layer shows a GIF of many 1 x 1 frames. Every frame is a graphic
# control extension, an image descriptor and an LZW block holding clear, index 0, end.
run_gif() {
    local dir=$work/gif guard=() limit_text="no limit" megabytes
    mkdir -p "$dir"
    "$py" - "$dir/frames.gif" "$frames" <<'PY'
import struct, sys
path, count = sys.argv[1], int(sys.argv[2])
screen = b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + b"\x00\x00\x00\xff\xff\xff"
frame = (b"\x21\xf9\x04\x00\x01\x00\x00\x00"
         + b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0)
         + b"\x02\x02\x44\x01\x00")
with open(path, "wb") as f:
    f.write(screen + frame * count + b"\x3b")
PY
    printf 'name,photo\nWang,%s\n' "$dir/frames.gif" >"$dir/rows.csv"
    template "$dir/card.dat" "$dir/rows.csv" "[$picture_layer, $name_layer]"
    if ((limit_gib > 0)); then
        guard=(prlimit --as=$((limit_gib << 30)) --)
        limit_text="address space limit $limit_gib GiB"
    fi
    measure "$dir/out" 1 "${guard[@]}" "$tool" run "$dir/card.dat" --csv "$dir/rows.csv" \
        --out "$dir/out" --jobs 1 --quiet
    # A binary that runs into the limit may still write the card, without its picture.
    if ((limit_gib > 0 && kib * 10 >= (limit_gib << 20) * 9)); then
        note+="; peak near the limit, which cut the reading short"
    fi
    megabytes=$(awk -v b="$(stat -c %s "$dir/frames.gif")" 'BEGIN { printf "%.2f", b / 1e6 }')
    printf 'gif: peak %s MiB, %s s, CPU %s s (FRAMES=%d, %s MB file, 1 card, --jobs 1, %s%s)\n' \
        "$(mib "$kib")" "$seconds" "$cpu" "$frames" "$megabytes" "$limit_text" "$note"
    rm -rf "$dir"
}

# Eight rows, each naming its own sparse file of SIZE_MB that begins with a JPEG header.
run_large() {
    local dir=$work/large i
    mkdir -p "$dir"
    echo "name,photo" >"$dir/rows.csv"
    for ((i = 1; i <= 8; i++)); do
        # Start of image, then a JFIF header (version 1.1, 1:1 pixel aspect, no thumbnail).
        printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00' \
            >"$dir/large$i.jpg"
        truncate -s "${size_mb}M" "$dir/large$i.jpg"
        echo "Card$i,$dir/large$i.jpg" >>"$dir/rows.csv"
    done
    template "$dir/card.dat" "$dir/rows.csv" "[$picture_layer, $name_layer]"
    measure "$dir/out" 8 "$tool" run "$dir/card.dat" --csv "$dir/rows.csv" \
        --out "$dir/out" --jobs 8 --quiet
    printf 'large: peak %s MiB, %s s, CPU %s s (8 rows, one file of SIZE_MB=%d each, %s)\n' \
        "$(mib "$kib")" "$seconds" "$cpu" "$size_mb" "--jobs 8$note"
    rm -rf "$dir"
}

# ROWS rows with the same name, which also names the files: Wang.jpg, Wang(2).jpg, ...
run_names() {
    local dir=$work/names
    mkdir -p "$dir"
    awk -v n="$rows" 'BEGIN { print "name"; for (i = 0; i < n; i++) print "Wang" }' >"$dir/rows.csv"
    template "$dir/card.dat" "$dir/rows.csv" "[$name_layer]"
    measure "$dir/out" "$rows" "$tool" run "$dir/card.dat" --csv "$dir/rows.csv" \
        --out "$dir/out" --jobs 2 --quiet
    printf 'names: %s s, CPU %s s, peak %s MiB (ROWS=%d with the same file name, --jobs 2%s)\n' \
        "$seconds" "$cpu" "$(mib "$kib")" "$rows" "$note"
    rm -rf "$dir"
}

(($# > 0)) || set -- gif large names
for what in "$@"; do
    case $what in
    gif | large | names) ;;
    *)
        echo "usage: bench/hostile.sh [gif|large|names]..." >&2
        exit 2
        ;;
    esac
done
for what in "$@"; do
    "run_$what"
done
