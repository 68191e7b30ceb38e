#!/bin/sh
# Repaint time of the design canvas during a drag: a 4000 x 3000 background, 20 layers, at 25%
# and 100%, on Qt's offscreen platform. Usage: bench/canvas.sh [STEPS] (default 200).
set -eu
build=${TORVALE_BUILD_DIR:-$(dirname "$0")/../build}
exe="$build/bench/canvas_repaint"
[ -x "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
TORVALE_CONFIG_DIR="$config" QT_QPA_PLATFORM=offscreen "$exe" "${1:-200}"
