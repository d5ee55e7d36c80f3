#!/usr/bin/env bash
# Builds SharedCounter.hx and plays it three times through the reelwick program with its own
# data folder: the count must reach 3, the store must sit in the movie's folder under
# shared-objects, and a damaged store must be ignored with one line and no crash.
#
# Usage: run-store.sh REELWICK_BINARY WORKDIR
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
reelwick="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/game" "$work/data"
haxe -cp "$here" -main SharedCounter -swf "$work/game/counter.swf" -swf-version 11 \
    -D native-trace -D haxe-boot >"$work/haxe.log" 2>&1 || { cat "$work/haxe.log" >&2; exit 1; }
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

play() {
    local frames
    frames="$(mktemp -d)"
    XDG_DATA_HOME="$work/data" "$reelwick" --export "$work/game/counter.swf" --frames 1-1 \
        --out "$frames" >/dev/null 2>"$work/run.err"
    rm -rf "$frames"
    # Haxe's boot code puts "File.hx:N: " before each trace.
    sed -E 's/^[A-Za-z0-9_]+\.hx:[0-9]+: //' "$work/run.err"
}

expect_line() {
    grep -qxF "$1" <<<"$2" || { echo "missing line: $1"; echo "got:"; echo "$2"; exit 1; }
}

for n in 1 2 3; do
    out="$(play)"
    expect_line "count $n" "$out"
    expect_line "flush flushed" "$out"
    expect_line "same true" "$out"
    expect_line "nested run $((n * 10))" "$out"
    expect_line "encoding 0 2008" "$out"
    expect_line "set $((n * 2)) false" "$out"
    expect_line "remote 0 7 true" "$out"
    expect_line "remote not flushed" "$out"
    expect_line "remote cleared true" "$out"
    expect_line "big refused" "$out"
    expect_line "cleared true" "$out"
    expect_line "bad name refused" "$out"
done
grep -q "SharedObject big was not saved" "$work/run.err" || { echo "no line for the cap"; exit 1; }
[ "$(grep -c "Refused: SharedObject.getRemote of rtmp://example.com/game" "$work/run.err")" -eq 1 ] \
    || { echo "expected one line for the refused server"; cat "$work/run.err"; exit 1; }

# One folder for the movie, holding the counter's store and nothing of the cleared one.
stores=("$work"/data/reelwick/shared-objects/*/)
[ ${#stores[@]} -eq 1 ] || { echo "expected one movie folder: ${stores[*]}"; exit 1; }
files="$(find "$work/data/reelwick/shared-objects" -type f | wc -l)"
[ "$files" -eq 1 ] || { echo "expected one store file, found $files"; find "$work/data"; exit 1; }

# A damaged store is ignored with one line; the movie starts again from nothing.
store="$(find "$work/data/reelwick/shared-objects" -type f)"
printf 'not a store' >"$store"
out="$(play)"
expect_line "count 1" "$out"
[ "$(grep -c "$(basename "$store")" "$work/run.err")" -eq 1 ] \
    || { echo "expected one line naming the damaged store"; cat "$work/run.err"; exit 1; }
echo "store: three runs counted to 3, the cap and damage handled"
