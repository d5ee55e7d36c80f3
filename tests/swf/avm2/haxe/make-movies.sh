#!/usr/bin/env bash
# Compiles every Haxe program of the ActionScript 3 suite twice: to OUTDIR/NAME.swf (ActionScript 3
# bytecode, what the player runs) and through the Haxe interpreter to OUTDIR/NAME.expected (what
# its trace calls must print). A program with a NAME.expected beside it (the flash/ programs,
# which the interpreter cannot run) is only compiled, and that file copied. Also writes
# OUTDIR/NAME.frames, the number of frames to play.
#
# Usage: make-movies.sh [--programs DIR] OUTDIR [NAME...]
#   (no NAME: every program in DIR, which is programs/ beside this script unless given)
# Any compile error or interpreter failure stops the script with a non-zero status.
# JOBS (default 2) programs are built at a time.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
programs="${MAKE_MOVIES_PROGRAMS:-$here/programs}"

build_one() {
    local out="$1" name="$2"
    local src="$programs/$name.hx"
    [ -f "$src" ] || { echo "make-movies: no program $src" >&2; return 1; }
    local common=(-cp "$programs" -cp "$here/common" -main "$name" TraceSetup)
    # haxe-boot names the boot class "haxe" rather than a random name: the same source gives the
    # same bytes.
    local boot=(-D haxe-boot)
    # "// loads: A B" in the source: movies the program loads, built from loaded/A.hx ... into
    # OUTDIR/loaded/. They keep the fixed boot name (two movies defining one boot class is what
    # is tested); the loader takes a random one so that its own is not theirs.
    local loads
    loads="$(sed -n 's|^// loads: *\(.*\)$|\1|p' "$src" | head -n1)"
    if [ -n "$loads" ]; then
        boot=()
        mkdir -p "$out/loaded"
        for child in $loads; do
            if ! haxe -cp "$programs/loaded" -cp "$here/common" -main "$child" TraceSetup \
                -swf "$out/loaded/$child.swf" -swf-version 11 -D native-trace -D haxe-boot \
                >"$out/$name.swf.log" 2>&1; then
                cat "$out/$name.swf.log" >&2
                echo "make-movies: $name: loaded movie $child: SWF compile failed" >&2
                return 1
            fi
        done
    fi
    # "// files: A B" in the source: files beside the program the movie reads at run time,
    # copied beside the movie.
    local files
    files="$(sed -n 's|^// files: *\(.*\)$|\1|p' "$src" | head -n1)"
    for f in $files; do
        cp "$programs/$f" "$out/$f" || return 1
    done
    if ! haxe "${common[@]}" -swf "$out/$name.swf" -swf-version 11 -D native-trace "${boot[@]}" \
        >"$out/$name.swf.log" 2>&1; then
        cat "$out/$name.swf.log" >&2
        echo "make-movies: $name: SWF compile failed" >&2
        return 1
    fi
    if [ -f "$programs/$name.expected" ]; then
        # Written by hand beside the program: flash.* classes do not exist in the interpreter.
        cp "$programs/$name.expected" "$out/$name.expected"
    else
        if ! timeout 600 haxe "${common[@]}" --interp >"$out/$name.expected.tmp" 2>"$out/$name.interp.log"; then
            cat "$out/$name.interp.log" >&2
            echo "make-movies: $name: the interpreter failed" >&2
            return 1
        fi
        if [ -s "$out/$name.interp.log" ]; then
            cat "$out/$name.interp.log" >&2
            echo "make-movies: $name: the interpreter wrote to standard error" >&2
            return 1
        fi
        if [ ! -s "$out/$name.expected.tmp" ]; then
            echo "make-movies: $name: the interpreter printed nothing" >&2
            return 1
        fi
        mv "$out/$name.expected.tmp" "$out/$name.expected"
    fi
    # "// frames: N" in the source: programs that wait for timers or frames need more than one.
    local frames
    frames="$(sed -n 's|^// frames: *\([0-9][0-9]*\) *$|\1|p' "$src" | head -n1)"
    echo "${frames:-1}" >"$out/$name.frames"
    rm -f "$out/$name.swf.log" "$out/$name.interp.log"
    echo "built $name"
}

if [ "${1:-}" = "--one" ]; then
    build_one "$2" "$3"
    exit
fi

if [ "${1:-}" = "--programs" ]; then
    [ $# -ge 2 ] || { echo "make-movies: --programs needs a folder" >&2; exit 2; }
    programs="$(cd "$2" && pwd)"
    shift 2
fi
export MAKE_MOVIES_PROGRAMS="$programs"
[ $# -ge 1 ] || { echo "usage: make-movies.sh [--programs DIR] OUTDIR [NAME...]" >&2; exit 2; }
command -v haxe >/dev/null || { echo "make-movies: haxe is not installed (scripts/deps.sh)" >&2; exit 1; }
out="$1"
shift
mkdir -p "$out"
out="$(cd "$out" && pwd)"

if [ $# -gt 0 ]; then
    names=("$@")
else
    # A full build leaves no movie behind from a program that is gone.
    rm -f "$out"/*.swf "$out"/*.expected "$out"/*.frames "$out"/*.actual "$out"/*.diff "$out"/*.log
    names=()
    for f in "$programs"/*.hx; do
        names+=("$(basename "$f" .hx)")
    done
fi
[ ${#names[@]} -gt 0 ] || { echo "make-movies: no programs" >&2; exit 1; }

if ! printf '%s\n' "${names[@]}" | xargs -P "${JOBS:-2}" -I{} "$0" --one "$out" {}; then
    echo "make-movies: FAILED (see above)" >&2
    exit 1
fi
echo "make-movies: ${#names[@]} programs built in $out"
