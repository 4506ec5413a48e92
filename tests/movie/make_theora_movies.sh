#!/usr/bin/env bash
# Makes the Theora test movies with Debian's ffmpeg (libtheora and libvorbis encoders).
# Usage: make_theora_movies.sh OUTPUT_FOLDER
#        make_theora_movies.sh OUTPUT_FOLDER bench      (the benchmark's 1280 x 720 movie)
#        make_theora_movies.sh OUTPUT_FOLDER platform   (the platform players' movies: the same pictures
#            in codings the system's players decode, one they do not, and a file that is no movie)
# Every picture carries its frame number in 8 x 8 luma blocks, one bit per block, row by row from the
# top left (bit 0 first, 8 blocks a row): white (235) for 1, black (16) for 0, grey chroma. Blocks of
# the coder's own size and the two extremes of luma survive the compression.
set -euo pipefail
out=$1
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
# lavfi source of SIZE, RATE and SECONDS with the numbered blocks, in pixel format FORMAT.
numbered() {
  echo "nullsrc=s=$1:r=$2:d=$3,format=$4,geq=lum='if(mod(floor(N/pow(2,floor(X/8)+8*floor(Y/8))),2),235,16)':cb=128:cr=128"
}
rm -rf "$out.tmp"
mkdir -p "$out.tmp"
cd "$out.tmp"
if [ "${2:-}" = platform ]; then
  # 50 frames at 25 a second: Motion JPEG in AVI, with PCM sound and without.
  ff -f lavfi -i "$(numbered 64x48 25 2 yuvj420p)" -c:v mjpeg -q:v 2 counted.avi
  ff -f lavfi -i "$(numbered 64x48 25 2 yuvj420p)" -f lavfi -i "sine=frequency=1000:sample_rate=22050:duration=2" \
     -c:v mjpeg -q:v 2 -c:a pcm_s16le sound.avi
  # VP8 in WebM and Theora in Ogg, 30 frames.
  ff -f lavfi -i "$(numbered 64x48 25 1.2 yuv420p)" -c:v libvpx -b:v 1M -crf 4 counted.webm
  ff -f lavfi -i "$(numbered 64x48 25 1.2 yuv420p)" -c:v libtheora -q:v 10 -g 12 counted.ogv
  # MPEG-1 video in an MPEG program stream: no decoder for it here.
  ff -f lavfi -i "$(numbered 64x48 25 1 yuv420p)" -c:v mpeg1video -f mpeg counted.mpg
  # Bytes that are no movie, under a movie's name.
  head -c 4096 /dev/urandom > noise.avi
elif [ "${2:-}" = bench ]; then
  # Ten seconds of 30 frames a second with moving detail everywhere (the kind of picture a movie has).
  ff -f lavfi -i "testsrc2=s=1280x720:r=30:d=10" -c:v libtheora -q:v 7 -g 60 bench720.ogv
else
  # 50 frames at 25 a second with two seconds of a 1 kHz tone; key frames every 12.
  ff -f lavfi -i "$(numbered 64x48 25 2 yuv420p)" -f lavfi -i "sine=frequency=1000:sample_rate=44100:duration=2" \
     -c:v libtheora -q:v 10 -g 12 -c:a libvorbis -q:a 4 counted.ogv
  # 40 frames, no sound.
  ff -f lavfi -i "$(numbered 64x48 25 1.6 yuv420p)" -c:v libtheora -q:v 10 -g 12 silent.ogv
  # The audio stream first, the picture second.
  ff -f lavfi -i "$(numbered 64x48 20 1 yuv420p)" -f lavfi -i "sine=frequency=500:sample_rate=22050:duration=1" \
     -map 1:a -map 0:v -c:v libtheora -q:v 10 -g 8 -c:a libvorbis audiofirst.ogv
  # 15 frames of picture under six seconds of sound.
  ff -f lavfi -i "$(numbered 64x48 25 0.6 yuv420p)" -f lavfi -i "sine=frequency=700:sample_rate=44100:duration=6" \
     -c:v libtheora -q:v 10 -g 12 -c:a libvorbis longsound.ogv
  # A visible size that is no multiple of the coder's 16: 100 x 60 pictures in 112 x 64 frames.
  ff -f lavfi -i "$(numbered 100x60 25 1 yuv420p)" -c:v libtheora -q:v 10 -g 12 oddsize.ogv
  # The other two pixel formats.
  ff -f lavfi -i "$(numbered 64x48 25 1 yuv444p)" -c:v libtheora -q:v 10 -g 12 full444.ogv
  ff -f lavfi -i "$(numbered 64x48 25 1 yuv422p)" -c:v libtheora -q:v 10 -g 12 half422.ogv
  # An Ogg file with sound only.
  ff -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=1" -c:a libvorbis soundonly.ogg
fi
cd ..
rm -rf "$out"
mv "$out.tmp" "$out"
