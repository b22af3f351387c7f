#!/usr/bin/env bash
# Makes the test clip: a raw H.264 Annex-B stream with an access unit
# delimiter before every frame, so a reader can split frames without a
# slice-header parser. SPS/PPS come again before every key frame, as
# cameras send them, so a file may start at any key frame. Keep CLIP_* in
# coresim/clip.h in step with this.
set -euo pipefail
cd "$(dirname "$0")/.."
out=coresim/data/clip.h264
mkdir -p "$(dirname "$out")"
ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i testsrc=size=320x240:rate=25:duration=4 \
  -c:v libx264 -profile:v baseline -pix_fmt yuv420p -preset medium -crf 28 \
  -g 25 -keyint_min 25 -sc_threshold 0 -bf 0 \
  -x264-params repeat-headers=1 \
  -bsf:v h264_metadata=aud=insert \
  -f h264 "$out"
echo "$out: $(wc -c <"$out") bytes"
