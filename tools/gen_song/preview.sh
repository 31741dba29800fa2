#!/bin/sh
# Renders the committed song with modrender up to the demo's end (position 2000, 6512640 samples) and
# draws the README previews: docs/song-frequencies.png and docs/song-waveform.png (needs sox and ffmpeg).
#   tools/gen_song/preview.sh BUILD_DIR
set -eu
build=${1:?usage: preview.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/tools/modrender/modrender" "$root/data/moddi.mod" "$tmp/full.wav" --seconds 148
sox "$tmp/full.wav" "$tmp/song.wav" trim 0 6512640s
sox "$tmp/song.wav" -n vol 0.9 rate 22050 spectrogram -x 1200 -y 360 -z 75 -t "Shoreline song, 147.7 s" \
    -c "orders 0-19, 7.38 s each" -o "$root/docs/song-frequencies.png"
ffmpeg -v error -y -i "$tmp/song.wav" -filter_complex "showwavespic=s=1200x200:colors=0x4080ff" \
    -frames:v 1 "$root/docs/song-waveform.png"
