#!/bin/sh
# Times of the editor's row preview and of an undo step on the bundled example, on Qt's
# offscreen platform. Usage: bench/editor.sh [ROUNDS] (default 30).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TORVALE_BUILD_DIR:-$root/build}
exe="$build/bench/editor_steps"
[ -x "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
TORVALE_CONFIG_DIR="$config" QT_QPA_PLATFORM=offscreen "$exe" "$root/examples/badge/badge.dat" "${1:-30}"
