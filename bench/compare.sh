#!/usr/bin/env bash
# Whole-program speed against the decoders people would otherwise use (mpg123, ffmpeg), with
# hyperfine. Inputs are long streams made by repeating ISO compliance streams end to end.
#
#   bench/compare.sh [BUILD_DIR [FILE...]]   (default build/release; run ./build.sh build first)
#
# Every program decodes the same file to 32-bit float samples written to /dev/null, and again to
# 16-bit integers; ffmpeg on one thread. Needs hyperfine, mpg123 and ffmpeg (Debian packages).
# Given files (e.g. the ten-minute streams bench_throughput keeps in ~/.cache/mpegin-bench) are
# used instead of the repeated ISO streams. bench_throughput gives the same comparison with
# processor time, peak memory and ratios in one table.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/release}
shift || true
MPEGDEC=$BUILD/tools/mpegdec/mpegdec
CONF=${MPEG_CONFORMANCE_DIR:-../shared/conformance}
WORK=${TMPDIR:-/tmp}/mpegin-bench
mkdir -p "$WORK"
for tool in hyperfine mpg123 ffmpeg; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is not installed" >&2; exit 1; }
done
[ -x "$MPEGDEC" ] || { echo "compare.sh: no $MPEGDEC (run ./build.sh build)" >&2; exit 1; }

# name, source stream, repetitions: a few minutes of audio each.
make_input() {
  local out=$WORK/$1 src=$CONF/$2 n=$3
  [ -s "$out" ] && return
  : >"$out"
  for _ in $(seq "$n"); do cat "$src" >>"$out"; done
}
inputs=("$@")
if [ ${#inputs[@]} -eq 0 ]; then
  make_input layer3-44k-stereo.mp3 l3-hecommon.bit 300
  make_input layer2-48k-stereo.mp2 l2-fl16.bit 120
  make_input layer1-44k-stereo.mp1 l1-fl8.bit 250
  inputs=("$WORK/layer3-44k-stereo.mp3" "$WORK/layer2-48k-stereo.mp2" "$WORK/layer1-44k-stereo.mp1")
fi

for f in "${inputs[@]}"; do
  input=$(basename "$f")
  echo "== $input ($(du -h "$f" | cut -f1))"
  hyperfine --warmup 2 --runs 10 -N --export-markdown "$WORK/${input%.*}-f32.md" \
    -n mpegdec "$MPEGDEC -q --raw --format f32 -o /dev/null $f" \
    -n mpg123 "mpg123 -q -e f32 -s $f" \
    -n ffmpeg "ffmpeg -nostdin -threads 1 -v error -i $f -f f32le -y /dev/null"
  hyperfine --warmup 2 --runs 10 -N --export-markdown "$WORK/${input%.*}-s16.md" \
    -n mpegdec "$MPEGDEC -q --raw --format s16 -o /dev/null $f" \
    -n mpg123 "mpg123 -q -s $f" \
    -n ffmpeg "ffmpeg -nostdin -threads 1 -v error -i $f -f s16le -y /dev/null"
done
echo "markdown tables in $WORK"
