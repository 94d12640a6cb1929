#!/usr/bin/env bash
# Installs the packages, builds Talvence and runs its main job. Until the
# capture window exists the job is headless: it prints the system report, then
# captures from the video source into "DV type 2 (with inlay)" with the scene
# file. Without capture hardware the virtual DV camcorder stands in, playing a
# tape of three recordings to its end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target talvence talvence-cli
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
if [ -z "${TALVENCE_VIRTUAL_DEVICES:-}" ] && ! ls /dev/video* /dev/fw* >/dev/null 2>&1; then
  export TALVENCE_VIRTUAL_DEVICES='dv:mode=vcr:tape=20241224T180000/75;20241224T193000/75;20241225T101500/75'
fi
build/app/talvence
folder="${TALVENCE_CAPTURE_FOLDER:-${XDG_VIDEOS_DIR:-$HOME/Videos}/Talvence}"
exec build/tools/talvence-cli/talvence-cli capture --format 'DV type 2 (with inlay)' --inlay --scn \
  --play --seconds 30 --yes --folder "$folder" "$@"
