#!/usr/bin/env bash
# Installs the packages, builds Talvence and runs it. Without capture hardware
# the built-in virtual devices stand in for it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target talvence
if [ -z "${TALVENCE_VIRTUAL_DEVICES:-}" ] && ! ls /dev/video* /dev/fw* >/dev/null 2>&1; then
  export TALVENCE_VIRTUAL_DEVICES=dv,webcam
fi
exec build/app/talvence "$@"
