#!/usr/bin/env bash
# Whole-program speed against the decoders people would otherwise use (mpg123, ffmpeg on one
# thread), side by side in one run with hyperfine, and the table of the results.
#
#   bench/compare.sh [--runs N] [--s16] [BUILD_DIR [FILE...]]   (default build/release;
#                                                                run ./build.sh build first)
#
# Without files it decodes five ten-minute streams, made once (skipped when present) in
# $MPEGIN_COMPARE_CACHE (default $XDG_CACHE_HOME/mpegin-compare, else ~/.cache/mpegin-compare):
# 44.1 kHz stereo pink noise coded by lame at 128 kbit/s and at 320 kbit/s joint stereo, by
# twolame at 384 kbit/s (Layer II), by lame at 64 kbit/s resampled to 22.05 kHz (MPEG-2 LSF),
# and the ISO stream l1-fl8 repeated 1400 times (Layer I 384 kbit/s, from
# $MPEG_CONFORMANCE_DIR, default ../shared/conformance).
#
# Every program decodes the same file to 32-bit float samples written to /dev/null (with --s16
# also to 16-bit integers); N runs each (default 5) after a warm-up, and the table holds the
# medians of wall time and mpegdec's ratio to mpg123 (their time over ours), mpegdec on one
# thread (-T 1) as the others; a last column gives mpegdec on two threads (-T 2). Needs hyperfine,
# mpg123 and ffmpeg, and for the streams sox, lame and twolame (Debian packages). The machine's
# load average is printed with the table: on a busy machine the figures say less.
# bench_throughput gives processor time, peak memory and multiples of real time instead.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=5
S16=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --s16) S16=1; shift ;;
    *) break ;;
  esac
done
BUILD=${1:-build/release}
shift || true
MPEGDEC=$BUILD/tools/mpegdec/mpegdec
CONF=${MPEG_CONFORMANCE_DIR:-../shared/conformance}
CACHE=${MPEGIN_COMPARE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/mpegin-compare}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/mpegin-compare.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "compare.sh: $tool is not installed" >&2; exit 1; }
  done
}
need hyperfine mpg123 ffmpeg python3
[ -x "$MPEGDEC" ] || { echo "compare.sh: no $MPEGDEC (run ./build.sh build)" >&2; exit 1; }

# The five streams, each written under a temporary name and renamed when complete.
make_streams() {
  mkdir -p "$CACHE"
  local wav=$CACHE/src.wav
  if [ ! -s "$CACHE/l3_128.mp3" ] || [ ! -s "$CACHE/l3_320.mp3" ] || [ ! -s "$CACHE/l2_384.mp2" ] ||
     [ ! -s "$CACHE/lsf_64.mp3" ]; then
    need sox lame twolame
    echo "compare.sh: making the streams in $CACHE (once)" >&2
    [ -s "$wav" ] || { sox -R -n -r 44100 -c 2 -b 16 "$wav.part.wav" synth 600 pinknoise vol 0.5 &&
                       mv "$wav.part.wav" "$wav"; }
    encode() {  # output, encoder arguments before the input and output
      local out=$1; shift
      [ -s "$CACHE/$out" ] && return
      "$@" "$wav" "$CACHE/$out.part" && mv "$CACHE/$out.part" "$CACHE/$out"
    }
    encode l3_128.mp3 lame --silent -b 128
    encode l3_320.mp3 lame --silent -m j -b 320
    encode l2_384.mp2 twolame --quiet -b 384
    encode lsf_64.mp3 lame --silent -b 64 --resample 22.05
    rm -f "$wav"
  fi
  if [ ! -s "$CACHE/l1_384.mp1" ]; then
    [ -s "$CONF/l1-fl8.bit" ] || { echo "compare.sh: no $CONF/l1-fl8.bit (set MPEG_CONFORMANCE_DIR)" >&2; exit 1; }
    for _ in $(seq 1400); do cat "$CONF/l1-fl8.bit"; done >"$CACHE/l1_384.mp1.part"
    mv "$CACHE/l1_384.mp1.part" "$CACHE/l1_384.mp1"
  fi
}

names=()
inputs=("$@")
if [ ${#inputs[@]} -eq 0 ]; then
  make_streams
  names=("Layer III 128k" "Layer III 320k joint" "Layer II 384k" "Layer I 384k" "LSF Layer III 64k")
  inputs=("$CACHE/l3_128.mp3" "$CACHE/l3_320.mp3" "$CACHE/l2_384.mp2" "$CACHE/l1_384.mp1"
          "$CACHE/lsf_64.mp3")
else
  for f in "${inputs[@]}"; do names+=("$(basename "$f")"); done
fi

formats=(f32)
[ "$S16" = 1 ] && formats+=(s16)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for format in "${formats[@]}"; do
  if [ "$format" = f32 ]; then mpg123_format="-e f32"; ffmpeg_format=f32le; else mpg123_format=""; ffmpeg_format=s16le; fi
  for i in "${!inputs[@]}"; do
    f=${inputs[$i]}
    echo "== ${names[$i]} ($format)" >&2
    hyperfine --style basic --warmup 1 --runs "$RUNS" -N --export-json "$WORK/$format-$i.json" \
      -n mpegdec "$MPEGDEC -q -T 1 --raw --format $format -o /dev/null $f" \
      -n "mpegdec -T 2" "$MPEGDEC -q -T 2 --raw --format $format -o /dev/null $f" \
      -n mpg123 "mpg123 -q $mpg123_format -s $f" \
      -n ffmpeg "ffmpeg -nostdin -threads 1 -v error -i $f -f $ffmpeg_format -y /dev/null" \
      >/dev/null
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# The table: medians in milliseconds, and mpg123's median over mpegdec's.
python3 - "$WORK" "$RUNS" "$load_before" "$load_after" "${formats[@]}" -- "${names[@]}" <<'EOF'
import json, sys
work, runs, before, after = sys.argv[1:5]
rest = sys.argv[5:]
split = rest.index("--")
formats, names = rest[:split], rest[split + 1:]
for format in formats:
    print(f"\n{format}: median of {runs} runs, output to /dev/null "
          f"(load average {before} before, {after} after)\n")
    print("| stream | mpegdec | mpg123 | ffmpeg -threads 1 | ours vs mpg123 | mpegdec -T 2 | -T 2 vs -T 1 |")
    print("|---|---|---|---|---|---|---|")
    for i, name in enumerate(names):
        with open(f"{work}/{format}-{i}.json") as f:
            results = {r["command"]: r["median"] * 1000 for r in json.load(f)["results"]}
        ratio = results["mpg123"] / results["mpegdec"]
        print(f"| {name} | {results['mpegdec']:.0f} ms | {results['mpg123']:.0f} ms | "
              f"{results['ffmpeg']:.0f} ms | {ratio:.2f}× | {results['mpegdec -T 2']:.0f} ms | "
              f"{results['mpegdec'] / results['mpegdec -T 2']:.2f}× |")
EOF
