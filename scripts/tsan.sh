#!/usr/bin/env bash
# Runs the tests that start threads (sound decoding and mixing, the audio device, video
# export, the view drawn in two halves) under ThreadSanitizer. Any report fails the run, except those inside the libraries
# listed in tsan.supp, whose own locks it cannot see. Not part of CI: the extra build takes
# longer than the run is worth there; run it after changing threaded code.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
dir="$root/build-tsan"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DREELWICK_TSAN=ON \
    -DREELWICK_TESTS=ON -DREELWICK_AVM2_SUITE=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target sound_tests audiooutput_test \
    flashcontrol_sound_test videoexport_test flashcontrol_test changes_tests
export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
export REELWICK_REQUIRE_CORPUS=1 REELWICK_REQUIRE_AUDIO=1
# The tests' own home, as ctest gives them: nothing lands in the user's.
export XDG_DATA_HOME="$dir/test-home/data" XDG_RUNTIME_DIR="$dir/test-home/runtime"
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$dir"
"$dir/tests/swf/sound/sound_tests"
"$dir/tests/swf/changes_tests" --gtest_filter='ViewPicture.*'
"$dir/tests/playback/videoexport_test"
"$dir/tests/playback/flashcontrol_test"
"$root/tests/with-pulse-null-sink.sh" "$dir/tests/playback/audiooutput_test"
"$root/tests/with-pulse-null-sink.sh" "$dir/tests/playback/flashcontrol_sound_test"
echo "ThreadSanitizer: no reports"
