#!/usr/bin/env bash
# Runs one command beside a private PulseAudio daemon whose only output is a null sink, so that
# audio tests have a device on machines without sound hardware. The daemon lives in a temporary
# folder and is stopped when the command ends; its exit status is the command's.
set -euo pipefail

dir=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT

# The daemon keeps its state under HOME and XDG_RUNTIME_DIR: give it the temporary folder.
mkdir -p "$dir/home" "$dir/runtime"
chmod 700 "$dir/runtime"
HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --load="module-null-sink sink_name=ci_null" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    >"$dir/pulse.log" 2>&1 &
pid=$!

for _ in $(seq 1 100); do
    [ -S "$dir/native" ] && break
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "PulseAudio did not start:" >&2
        cat "$dir/pulse.log" >&2
        exit 1
    fi
    sleep 0.1
done
[ -S "$dir/native" ] || { echo "PulseAudio socket never appeared" >&2; exit 1; }

export PULSE_SERVER="unix:$dir/native"
rc=0
"$@" || rc=$?
exit $rc
