#!/usr/bin/env bash
# Builds Sprites2000.hx (1280 x 720, 30 fps) with Haxe and times it with as3_sprites_bench.
# Usage: run-sprites-bench.sh BUILD_DIR [FRAMES]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: run-sprites-bench.sh BUILD_DIR [FRAMES]}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$here" && haxe -main Sprites2000 -swf "$work/Sprites2000.swf" -swf-version 11 \
    -swf-header 1280:720:30:FFFFFF -D native-trace -D haxe-boot)
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/bench/as3_sprites_bench" \
    "$work/Sprites2000.swf" "${2:-150}"
