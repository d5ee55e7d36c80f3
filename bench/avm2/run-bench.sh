#!/usr/bin/env bash
# Times the compute programs here through the Haxe interpreter and, given a reelwick binary,
# through our ActionScript 3 VM (reelwick --export, one frame), side by side in one run.
# Each side runs RUNS times (default 3); the fastest run counts. Empty.hx measures start-up,
# which is also shown subtracted. The movie's trace output is checked against the interpreter's,
# so a fast wrong answer does not count.
#
# Usage: run-bench.sh [REELWICK_BINARY]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
suite="$here/../../tests/swf/avm2/haxe"
reelwick="${1:-}"
runs="${RUNS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$suite/make-movies.sh" --programs "$here" "$work/movies" >/dev/null

# Qt warns on standard error when there is no runtime folder, and standard error is the
# movie's output here: give it a private one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

now() { date +%s.%N; }

# Prints the fastest of $runs wall-clock times of the command, in seconds.
best_of() {
    local best=""
    for _ in $(seq "$runs"); do
        local t0 t1
        t0=$(now)
        "$@" >/dev/null 2>&1
        t1=$(now)
        best=$(python3 -c "import sys; a=float(sys.argv[1]); b=sys.argv[2]; print(min(a, float(b)) if b else a)" \
            "$(python3 -c "print($t1 - $t0)")" "$best")
    done
    echo "$best"
}

interp() {
    haxe -cp "$here" -cp "$suite/common" -main "$1" TraceSetup --interp
}

vm() {
    "$reelwick" --export "$work/movies/$1.swf" --frames 1-1 --out "$work/frames"
}

names=(Empty Sieve Md5Mib Md5Hand Sort100k NBody)
declare -A ti tv
for n in "${names[@]}"; do
    ti[$n]=$(best_of interp "$n")
    if [ -n "$reelwick" ]; then
        mkdir -p "$work/frames"
        "$reelwick" --export "$work/movies/$n.swf" --frames 1-1 --out "$work/frames" \
            >/dev/null 2>"$work/$n.actual" || true
        if ! python3 "$suite/compare.py" "$work/$n.actual" "$work/movies/$n.expected" >"$work/$n.diff"; then
            echo "$n: the movie's output is wrong:" >&2
            cat "$work/$n.diff" >&2
            tv[$n]="wrong"
            continue
        fi
        tv[$n]=$(best_of vm "$n")
    fi
done

printf '%-10s %12s %12s %10s %14s\n' program "interp (s)" "VM (s)" "VM/interp" "net VM/interp"
for n in "${names[@]}"; do
    if [ -z "$reelwick" ] || [ "${tv[$n]}" = "wrong" ]; then
        printf '%-10s %12.3f %12s\n' "$n" "${ti[$n]}" "${tv[$n]:--}"
        continue
    fi
    python3 - "$n" "${ti[$n]}" "${tv[$n]}" "${ti[Empty]}" "${tv[Empty]}" <<'PY'
import sys
n, ti, tv, ei, ev = sys.argv[1], *map(float, sys.argv[2:])
net_i, net_v = ti - ei, tv - ev
net = "%.2f" % (net_v / net_i) if n != "Empty" and net_i > 0.01 else "-"
print("%-10s %12.3f %12.3f %10.2f %14s" % (n, ti, tv, tv / ti, net))
PY
done
