#!/usr/bin/env bash
# Installs the packages, builds Talvence and runs its main job: the capture window when a display
# is available, else the headless capture. Without capture hardware the virtual DV camcorder
# stands in: in the window a camera that films until the window closes, headless a tape of three
# recordings played to its end into "DV type 2 (with inlay)" with its scene file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target talvence talvence-cli
hardware=no
if ls /dev/video* /dev/fw* >/dev/null 2>&1; then hardware=yes; fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if [ -z "${TALVENCE_VIRTUAL_DEVICES:-}" ] && [ "$hardware" = no ]; then
    export TALVENCE_VIRTUAL_DEVICES='dv'
  fi
  exec build/app/talvence "$@"
fi

export QT_QPA_PLATFORM=offscreen
if [ -z "${TALVENCE_VIRTUAL_DEVICES:-}" ] && [ "$hardware" = no ]; then
  export TALVENCE_VIRTUAL_DEVICES='dv:mode=vcr:tape=20241224T180000/75;20241224T193000/75;20241225T101500/75'
fi
build/app/talvence
folder="${TALVENCE_CAPTURE_FOLDER:-${XDG_VIDEOS_DIR:-$HOME/Videos}/Talvence}"
exec build/tools/talvence-cli/talvence-cli capture --format 'DV type 2 (with inlay)' --inlay --scn \
  --play --seconds 30 --yes --folder "$folder" "$@"
