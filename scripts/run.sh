#!/usr/bin/env bash
# Builds Reelwick and plays a movie (the bundled demo when none is given).
# Without a display it starts a private Xvfb with a small window manager.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"

[ $# -gt 0 ] || set -- "$root/resources/demo.swf"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running on a private Xvfb (nothing is shown on screen; use a display to watch)."
    exec xvfb-run -a -s "-screen 0 1280x800x24" bash -c \
        'evilwm -fn fixed >/dev/null 2>&1 & exec "$0" "$@"' "$root/build/reelwick" "$@"
fi
exec "$root/build/reelwick" "$@"
