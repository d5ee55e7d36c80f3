#!/usr/bin/env bash
# Runs a command that reads the corpus of real movies: every @CORPUS@ in its arguments becomes
# the corpus folder ($REELWICK_CORPUS_DIR, else the first argument). Without the corpus it skips
# with one line (exit 77, the tests' SKIP_RETURN_CODE); with REELWICK_REQUIRE_CORPUS=1 it fails.
set -euo pipefail
corpus="${REELWICK_CORPUS_DIR:-$1}"
shift
if [ ! -f "$corpus/manifest.tsv" ]; then
    if [ "${REELWICK_REQUIRE_CORPUS:-0}" = 1 ]; then
        echo "corpus not found at $corpus (REELWICK_REQUIRE_CORPUS=1)" >&2
        exit 1
    fi
    echo "corpus not found at $corpus: skipped"
    exit 77
fi
args=()
for a in "$@"; do
    args+=("${a//@CORPUS@/$corpus}")
done
exec "${args[@]}"
