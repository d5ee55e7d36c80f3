#!/usr/bin/env bash
# Installs the Debian packages Reelwick needs to build, run and test, if any are missing.
# Idempotent: does nothing (and needs no root) when everything is there.
set -euo pipefail

packages=(
    cmake ninja-build g++ mold pkg-config
    qt6-base-dev libgl-dev
    zlib1g-dev liblzma-dev
    libavcodec-dev libavutil-dev libavformat-dev libswscale-dev libswresample-dev libspeex-dev qt6-multimedia-dev libx11-dev pulseaudio pulseaudio-utils
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth evilwm x11-utils fonts-noto-cjk
    ffmpeg
    libpcre2-dev haxe python3
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Another apt run (an unattended upgrade, say) may hold the lock: wait for it rather than fail.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq -o DPkg::Lock::Timeout=600
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "${missing[@]}"
