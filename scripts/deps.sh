#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the show need, only
# when some are missing. Safe to run again; needs root (or sudo) when it installs.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgl1-mesa-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
  libsdl2-dev libimgui-dev libstb-dev libsndfile1-dev libkissfft-dev
  libfreetype-dev fonts-dejavu-core libpng-dev libjpeg62-turbo-dev
  libgtest-dev libbenchmark-dev
  xvfb xdotool x11-utils openbox wmctrl ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
