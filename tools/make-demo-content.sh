#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes the demo's content directory for the development signage server: the
# schedules, device map and pages of demo/, plus pictures drawn with ImageMagick
# and a short video clip with sound made by FFmpeg.
# Usage: tools/make-demo-content.sh OUTPUT_DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTPUT_DIR" >&2; exit 2; }
src=$(cd "$(dirname "$0")/../demo" && pwd)
out=$1
convert=/usr/bin/convert # the first "convert" on PATH may be something else
for tool in "$convert" ffmpeg; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
done

mkdir -p "$out/images" "$out/video"
cp -R "$src/." "$out/"

# One full-HD picture per slide: a colour, a big title and a line under it; a
# plain gradient when ImageMagick finds no font to write with.
draw() { # name background title subtitle
    local file=$out/images/$1.png
    "$convert" -size 1920x1080 "gradient:$2-black" -gravity center -font DejaVu-Sans-Bold \
        -fill white -pointsize 170 -annotate +0-80 "$3" -pointsize 60 -annotate +0+120 "$4" \
        -strip "$file" 2>/dev/null || "$convert" -size 1920x1080 "gradient:$2-white" -strip "$file"
}
draw welcome '#1f4e79' 'Welcome' 'to the player demo'
draw morning '#b8860b' 'Good morning' 'shown until noon'
draw evening '#4b2a7b' 'Good afternoon' 'shown from noon to midnight'
draw thanks '#0b6e4f' 'Thank you' 'a private schedule, played on request'

# Six seconds of test pattern with a running clock and a 440 Hz tone: H.264 and
# AAC in MP4, the moov atom first so that playback starts before the download ends.
clip=$out/video/clip.mp4
if [ ! -s "$clip" ]; then
    text="drawtext=fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf:text='%{pts\\:hms}':fontsize=72:fontcolor=white:box=1:boxcolor=black@0.6:x=(w-tw)/2:y=h-th-40"
    pattern="testsrc2=size=1280x720:rate=25"
    [ -r /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf ] && pattern="$pattern,$text"
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "$pattern" -f lavfi -i "sine=frequency=440:sample_rate=48000" \
        -t 6 -c:v libx264 -preset veryfast -crf 30 -pix_fmt yuv420p -c:a aac -b:a 64k -movflags +faststart "$clip"
fi
