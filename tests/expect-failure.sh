#!/usr/bin/env bash
# Passes when the command fails cleanly (a non-zero exit, not a crash or a signal) and its output
# matches the extended regular expression given first: a failure for the wrong reason, or a
# failure reported as success, fails the test.
set -uo pipefail
pattern="$1"
shift
output="$("$@" 2>&1)"
rc=$?
printf '%s\n' "$output"
if [ "$rc" -eq 0 ]; then
    echo "expected a failure, the command succeeded" >&2
    exit 1
fi
if [ "$rc" -eq 77 ] || [ "$rc" -ge 128 ]; then
    echo "expected a clean failure, got exit status $rc" >&2
    [ "$rc" -eq 77 ] && exit 77
    exit 1
fi
if ! grep -Eq -- "$pattern" <<<"$output"; then
    echo "the failure did not say: $pattern" >&2
    exit 1
fi
