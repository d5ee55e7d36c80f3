#!/usr/bin/env bash
# Times the compute programs here through the Haxe interpreter and, given reelwick binaries,
# through our ActionScript 3 VM (reelwick --export, one frame), side by side in one run.
# Each side runs RUNS times (default 3) and the least CPU time (user + system) counts: this
# machine is shared, and wall-clock time measures the neighbours as much as the program.
# Empty.hx measures start-up, which is also shown subtracted. The movie's trace output is checked
# against the interpreter's, so a fast wrong answer does not count. A second binary (say, a build
# before a change) gets its own columns, so two VMs are compared in one run.
#
# Usage: run-bench.sh [REELWICK_BINARY [REELWICK_BINARY...]]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
suite="$here/../../tests/swf/avm2/haxe"
vms=("$@")
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

# One command as one argument for best_of: its words joined by the unit separator.
command_of() {
    local IFS=$'\x1f'
    echo "$*"
}

# Prints the least CPU time (user + system, children included) of each command given (one per
# argument, made by command_of), over $runs rounds in which the commands run in turn: the
# machine's load then touches every side alike.
best_of() {
    python3 - "$runs" "$@" <<'PY2'
import resource, subprocess, sys
runs, cmds = int(sys.argv[1]), [c.split("\x1f") for c in sys.argv[2:]]
best = [None] * len(cmds)
for _ in range(runs):
    for i, cmd in enumerate(cmds):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best[i] = t if best[i] is None else min(best[i], t)
print(" ".join(str(b) for b in best))
PY2
}

names=(${NAMES:-Empty Sieve Md5Mib Md5Hand Sort100k NBody})
declare -A t
mkdir -p "$work/frames"
# Program by program, every side in turn in each round.
for n in "${names[@]}"; do
    cmds=("$(command_of haxe -cp "$here" -cp "$suite/common" -main "$n" TraceSetup --interp)")
    sides=(interp)
    for k in "${!vms[@]}"; do
        vm="${vms[$k]}"
        # Haxe's boot code puts the position in front of the movie's lines (see run-suite.sh).
        "$vm" --export "$work/movies/$n.swf" --frames 1-1 --out "$work/frames" 2>&1 >/dev/null |
            sed -E 's/^[A-Za-z0-9_]+\.hx:[0-9]+: //' >"$work/$n.$k.actual" || true
        if ! python3 "$suite/compare.py" "$work/$n.$k.actual" "$work/movies/$n.expected" \
            >"$work/$n.diff"; then
            echo "$n: the output of $vm is wrong:" >&2
            cat "$work/$n.diff" >&2
            t[$n,$k]=wrong
            continue
        fi
        cmds+=("$(command_of "$vm" --export "$work/movies/$n.swf" --frames 1-1 --out "$work/frames")")
        sides+=("$k")
    done
    read -r -a times <<<"$(best_of "${cmds[@]}")"
    for i in "${!sides[@]}"; do
        t[$n,${sides[$i]}]=${times[$i]}
    done
done

echo "CPU seconds, least of $runs alternated runs; net: start-up (Empty) subtracted from both sides"
header=$(printf '%-10s %10s' program interp)
for k in "${!vms[@]}"; do
    header+=$(printf ' %10s %9s %9s' "vm$((k + 1))" "ratio" "net")
done
echo "$header"
for k in "${!vms[@]}"; do echo "vm$((k + 1)) = ${vms[$k]}"; done
for n in "${names[@]}"; do
    line=$(printf '%-10s %10.3f' "$n" "${t[$n,interp]}")
    for k in "${!vms[@]}"; do
        if [ "${t[$n,$k]}" = wrong ]; then
            line+=$(printf ' %10s %9s %9s' wrong - -)
            continue
        fi
        line+=$(python3 - "$n" "${t[$n,interp]}" "${t[$n,$k]}" "${t[Empty,interp]}" "${t[Empty,$k]}" <<'PY2'
import sys
n, ti, tv, ei, ev = sys.argv[1], *map(float, sys.argv[2:])
net_i, net_v = ti - ei, tv - ev
net = "%.2f" % (net_v / net_i) if n != "Empty" and net_i > 0.01 else "-"
print(" %10.3f %9.2f %9s" % (tv, tv / ti, net))
PY2
)
    done
    echo "$line"
done
