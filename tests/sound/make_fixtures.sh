#!/usr/bin/env bash
# Makes the sound tests' files with Debian's command-line encoders and reference decoders (sox,
# oggenc/oggdec, opusenc/opusdec, lame). Usage: make_fixtures.sh OUTPUT_FOLDER
#        make_fixtures.sh OUTPUT_FOLDER bench   (ten minutes of Ogg Vorbis and Opus for the benchmark)
# Every source is synthesised here; each encoded file comes with the reference decoder's own output.
set -euo pipefail
out=$1
if [ "${2:-}" = bench ]; then
  rm -rf "$out.tmp"
  mkdir -p "$out.tmp"
  sox -D -n -r 44100 -c 2 -b 16 "$out.tmp/long.wav" synth 600 sine 220-880 sine 1210 vol 0.45
  oggenc -Q -q 4 -o "$out.tmp/bench.ogg" "$out.tmp/long.wav"
  opusenc --quiet --bitrate 128 "$out.tmp/long.wav" "$out.tmp/bench.opus"
  rm -f "$out.tmp/long.wav"
  rm -rf "$out"
  mv "$out.tmp" "$out"
  exit 0
fi
rm -rf "$out.tmp"
mkdir -p "$out.tmp"
cd "$out.tmp"
synth() { sox -D -n -r "$1" -c "$2" -b 16 -e signed "$3" synth "$4" sine 440 sine 1210 vol 0.45 fade q 0.05 "$4" 0.05; }

# The 16-bit source: 3 s of stereo at 44,100 Hz; a 1 s mono one for the small files.
synth 44100 2 src16.wav 3
synth 22050 1 mono.wav 1
# PCM of every width, IEEE float of both widths (exact images of the 16-bit source), and the data each
# holds as raw little-endian samples.
sox -D src16.wav -b 8 -e unsigned pcm8.wav
sox -D src16.wav -b 24 -e signed pcm24.wav
sox -D src16.wav -b 32 -e signed pcm32.wav
sox -D src16.wav -b 32 -e floating-point float32.wav
sox -D src16.wav -b 64 -e floating-point float64.wav
sox -D -c 1 mono.wav -c 6 pcm16x6.wav remix 1 1 1 1 1 1
for f in src16 pcm8 pcm24 pcm32 pcm16x6; do sox -D "$f.wav" -t raw "$f.raw"; done

# Ogg Vorbis: the long file with its loop comments, 8-bit output reference, and the comment cases.
oggenc -Q -q 3 -c LOOPSTART=44100 -c LOOPLENGTH=88200 -o vorbis.ogg src16.wav
oggdec -Q -o vorbis.ref.wav vorbis.ogg
oggdec -Q -b 8 -s 0 -o vorbis8.ref.wav vorbis.ogg
i=0
for comment in "LOOPLENGTH=1000" "LOOPSTART=500" "loopstart=500" "LOOPSTART=-5" "LOOPSTART= +7|LOOPLENGTH=3|LOOPLENGTH=9"; do
  args=()
  IFS='|' read -ra list <<<"$comment"
  for c in "${list[@]}"; do args+=(-c "$c"); done
  oggenc -Q -q 0 "${args[@]}" -o "loop$i.ogg" mono.wav
  i=$((i + 1))
done
oggenc -Q -q 0 -o noloop.ogg mono.wav

# Opus: the long file, and a stereo file of exactly 48,000 samples encoded from 44,100 Hz.
opusenc --quiet src16.wav opus.opus
opusdec --quiet --rate 48000 --float opus.opus opus.ref.wav
sox -D -r 44100 -c 2 -n -b 16 short44.wav synth 44100s sine 300 vol 0.3
opusenc --quiet short44.wav short.opus

# ACM: IMA and MS ADPCM, mu-law and A-law WAVE, each with sox's decoded 16-bit PCM.
for e in ima-adpcm ms-adpcm mu-law a-law; do
  sox -D src16.wav -e "$e" "$e.wav"
  sox -D "$e.wav" -b 16 -e signed "$e.ref.wav"
done

# Small files of each kind for the damaged-input tests.
sox -D mono.wav -e ima-adpcm small-ima.wav
sox -D mono.wav -e ms-adpcm small-ms.wav
sox -D mono.wav -e mu-law small-mulaw.wav
sox -D mono.wav -b 32 -e floating-point small-float.wav

# MP3: plain, with an ID3v1 tag, with an ID3v2 tag, and one whose sample rate changes part way.
lame --quiet -b 128 --noreplaygain src16.wav mp3.mp3
lame --quiet --decode mp3.mp3 mp3.ref.wav
lame --quiet -b 128 --id3v1-only --tt Title src16.wav id3v1.mp3
lame --quiet -b 128 --id3v2-only --tt Title src16.wav id3v2.mp3
sox -D mono.wav -r 44100 mono44.wav rate
sox -D mono.wav -r 48000 mono48.wav rate
lame --quiet -b 64 -t mono44.wav part44.mp3
lame --quiet -b 64 -t mono48.wav part48.mp3
lame --quiet -b 32 -t mono.wav lsf.mp3
cat part44.mp3 part48.mp3 >up.mp3
cat part48.mp3 part44.mp3 >down.mp3
# FLAC, losslessly the 16-bit source, for the Media Foundation converter.
sox -D src16.wav flac.flac

cd ..
rm -rf "$out"
mv "$out.tmp" "$out"
