#!/usr/bin/env bash
# Plays each movie in the real window (a private X server with a small window manager), grabs the
# screen after a few seconds and tiles the grabs into one contact sheet, in the order given.
# Usage: window-screenshots.sh PLAYER OUT.png SECONDS MOVIE...
set -euo pipefail
player="$1" out="$2" wait="$3"; shift 3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '%s\n' "$@" > "$work/movies"
xvfb-run -a -s "-screen 0 1024x640x24" bash -c '
    work="$1" player="$2" wait="$3"
    evilwm -fn fixed >/dev/null 2>&1 &
    for i in $(seq 1 50); do xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 && break; sleep 0.1; done
    n=0
    while IFS= read -r movie; do
        n=$((n + 1))
        # A private data folder each time, so the playlist holds just this movie.
        XDG_DATA_HOME="$work/data$n" "$player" "$movie" </dev/null >/dev/null 2>&1 &
        pid=$!
        sleep "$wait"
        # The window alone: its size and its place on the screen, from the window tree.
        geometry=$(xwininfo -root -tree | grep -- "- Reelwick" | head -1 |
            sed -E "s/.* ([0-9]+x[0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2,\3/")
        # No window (the player failed to start): the whole screen, so the sheet keeps its order.
        [ -n "$geometry" ] || geometry="1024x640 0,0"
        ffmpeg -nostdin -loglevel error -f x11grab -video_size "${geometry% *}" \
            -i "$DISPLAY+${geometry#* }" -frames:v 1 "$(printf "%s/shot-%03d.png" "$work" "$n")"
        kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
    done < "$work/movies"' bash "$work" "$player" "$wait"
count=$(ls "$work"/shot-*.png | wc -l)
cols=4 rows=$(( (count + 3) / 4 ))
ffmpeg -loglevel error -y -framerate 1 -i "$work/shot-%03d.png" \
    -vf "scale=438:252,tile=${cols}x${rows}:padding=4:color=white" -frames:v 1 "$out"
