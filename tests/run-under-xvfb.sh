#!/usr/bin/env bash
# Runs one test program in a private X server with a small window manager, for the tests where
# a real window matters (frames, maximize, full screen).
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    evilwm -fn fixed >/dev/null 2>&1 &
    wm=$!
    for i in $(seq 1 50); do xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 0.3
    "$@"; rc=$?
    kill $wm 2>/dev/null || true
    exit $rc' bash "$@"
