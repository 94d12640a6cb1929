#!/bin/sh
# CPU share of one core while talvence-cli previews the virtual 640 x 480 MJPEG webcam at 30
# frames a second, then while it also records "Native Video" from it. The preview alone is an
# "Image by Image" capture that never grabs: the whole preview graph runs, nothing is written.
# The figures include the virtual webcam making and JPEG-compressing its pictures, which a real
# webcam does itself.
#
#   bench/v4l2/webcam_cpu.sh [talvence-cli] [seconds]
set -eu
cli=${1:-build/tools/talvence-cli/talvence-cli}
seconds=${2:-20}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

measure() {
    label=$1
    shift
    /usr/bin/time -o "$dir/time" -f "%U %S %e" env TALVENCE_VIRTUAL_DEVICES=webcam:format=mjpeg \
        TALVENCE_REGISTRY_DIR="$dir/store" QT_QPA_PLATFORM=offscreen \
        "$cli" capture --source 'Virtual Webcam' --yes --folder "$dir/videos" \
        --seconds "$seconds" "$@" >"$dir/out" 2>&1
    frames=$(tr '\r' '\n' <"$dir/out" | grep -o 'frames [0-9]* lost [0-9]*' | tail -n 1)
    awk -v label="$label" -v frames="$frames" '{
        printf "%-28s %5.1f %% of one core (user %.2f s, system %.2f s, %.1f s)  %s\n",
               label, 100 * ($1 + $2) / $3, $1, $2, $3, frames }' "$dir/time"
}

measure "preview" --format 'Image by Image' --grab-every 100000
measure "preview + Native Video" --format 'Native Video'
