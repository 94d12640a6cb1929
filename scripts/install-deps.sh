#!/usr/bin/env bash
# Installs every Debian 12 package Talvence needs to build, test and run, or only the packages
# named on the command line (scripts/fuzz.sh asks for clang that way).
# Idempotent: packages already present are left as they are. Run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libavfilter-dev
  libjpeg62-turbo-dev libturbojpeg0-dev
  libasound2-dev libudev-dev
  libraw1394-dev libiec61883-dev libavc1394-dev
  fonts-liberation2
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  ffmpeg imagemagick
  xvfb xauth
)
if [ $# -gt 0 ]; then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
