#!/usr/bin/env bash
# Plays every movie that make-movies.sh built through the reelwick program and compares what its
# trace calls print on standard error with the Haxe interpreter's output.
#
# Usage: run-suite.sh REELWICK_BINARY OUTDIR [NAME...]   (no NAME: every NAME.swf in OUTDIR)
# For each movie, OUTDIR/NAME.actual keeps the standard error and OUTDIR/NAME.diff the comparison.
# Exits 0 only when every movie printed exactly what was expected.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
[ $# -ge 2 ] || { echo "usage: run-suite.sh REELWICK_BINARY OUTDIR [NAME...]" >&2; exit 2; }
reelwick="$1"
out="$2"
shift 2
[ -x "$reelwick" ] || { echo "run-suite: $reelwick is not an executable" >&2; exit 2; }

if [ $# -gt 0 ]; then
    names=("$@")
else
    names=()
    for f in "$out"/*.swf; do
        [ -e "$f" ] && names+=("$(basename "$f" .swf)")
    done
fi
[ ${#names[@]} -gt 0 ] || { echo "run-suite: no movies in $out (run make-movies.sh first)" >&2; exit 2; }

# Qt warns on standard error when there is no runtime folder, and standard error is the
# movie's output here: give it a private one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

passed=0
failed=0
for name in "${names[@]}"; do
    movie="$out/$name.swf"
    if [ ! -f "$movie" ] || [ ! -f "$out/$name.expected" ]; then
        echo "FAIL $name: $movie or its .expected is missing"
        failed=$((failed + 1))
        continue
    fi
    frames=1
    [ -f "$out/$name.frames" ] && frames="$(cat "$out/$name.frames")"
    frames_dir="$(mktemp -d)"
    # The pictures are not looked at; standard error is the movie's trace output and nothing else.
    timeout "${REELWICK_SUITE_TIMEOUT:-600}" "$reelwick" --export "$movie" --frames "1-$frames" \
        --out "$frames_dir" >/dev/null 2>"$out/$name.actual"
    status=$?
    rm -rf "$frames_dir"
    # Haxe's Flash boot code sets its own haxe.Log.trace after the classes' __init__ run, so the
    # movie's lines carry Haxe's "File.hx:12: " position, which the interpreter side has not.
    sed -E 's/^[A-Za-z0-9_]+\.hx:[0-9]+: //' "$out/$name.actual" >"$out/$name.lines"
    python3 "$here/compare.py" "$out/$name.lines" "$out/$name.expected" >"$out/$name.diff"
    same=$?
    if [ $same -eq 0 ] && [ $status -eq 0 ]; then
        echo "PASS $name ($(tail -n1 "$out/$name.diff"))"
        passed=$((passed + 1))
    else
        echo "FAIL $name (reelwick exit status $status)"
        sed 's/^/    /' "$out/$name.diff"
        failed=$((failed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
