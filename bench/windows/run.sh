#!/usr/bin/env bash
# Speed of the Windows module through its exports: the i686 DLL under 32-bit Wine against the
# x86_64 DLL under wine64, on ten-minute streams of pink noise (Layer III 128k, Layer II 384k,
# LSF Layer III 64k), read as a host reads them (16-bit samples unless BITS=32).
#
#   bench/windows/run.sh [ROUNDS]        (default 5; needs sox, lame, twolame, 32-bit Wine)
#
# The streams are made once in $MPEGIN_BENCH_CACHE (default ~/.cache/mpegin-bench), never in
# the tree. Each round times both builds one after the other on every stream; the table shows
# the best round of each in wall time, and the mean over the rounds of the reading thread's
# processor time (which other programs on a busy machine disturb less; Wine counts it in 10-ms
# ticks, hence the mean). MPEGIN_SIMD narrows
# the vector path as for the module itself.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"
ROUNDS=${1:-5}
BITS=${BITS:-16}
CACHE=${MPEGIN_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/mpegin-bench}
mkdir -p "$CACHE"
for tool in sox lame twolame /usr/lib/wine/wine /usr/lib/wine/wine64 i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
  command -v "$tool" >/dev/null || { echo "bench/windows/run.sh: $tool is missing" >&2; exit 1; }
done

streams=(pink-l3-128.mp3 pink-l2-384.mp2 pink-lsf-64.mp3)
if ! [ -s "$CACHE/${streams[0]}" ] || ! [ -s "$CACHE/${streams[1]}" ] || ! [ -s "$CACHE/${streams[2]}" ]; then
  echo "== making the streams in $CACHE"
  sox -R -n -r 44100 -c 2 -b 16 "$CACHE/pink.wav" synth 600 pinknoise vol 0.5
  lame --silent -b 128 "$CACHE/pink.wav" "$CACHE/${streams[0]}"
  twolame --quiet -b 384 "$CACHE/pink.wav" "$CACHE/${streams[1]}"
  lame --silent -b 64 --resample 22.05 "$CACHE/pink.wav" "$CACHE/${streams[2]}"
  rm -f "$CACHE/pink.wav"
fi

for preset in windows-i686 windows-x86_64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" --target bench_host mpeginput >/dev/null
done

# A prefix of its own, kept between runs (its first start takes a while).
export WINEPREFIX=${MPEGIN_BENCH_WINEPREFIX:-$CACHE/wine-prefix} WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1

files=()
for s in "${streams[@]}"; do files+=("$CACHE/$s"); done
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for round in $(seq "$ROUNDS"); do
  for build in x86_64:wine64 i686:wine; do
    arch=${build%%:*}
    "/usr/lib/wine/${build##*:}" "build/windows-$arch/bench/windows/bench_host.exe" --runs 1 --bits "$BITS" \
      "build/windows-$arch/src/host/mpeginput.dll" "${files[@]}" | sed "s/^/$arch /" >> "$results"
  done
  echo "   round $round of $ROUNDS" >&2
done
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

# Columns of bench_host's lines (after the build name): stream, best wall, median wall, processor.
best() {  # build, stream, column
  awk -v b="$1" -v s="$2" -v c="$3" '$1 == b && $2 == s { print $c }' "$results" | sort -g | head -n 1
}
mean() {  # build, stream, column
  awk -v b="$1" -v s="$2" -v c="$3" '$1 == b && $2 == s { t += $c; n++ } END { print t / n }' "$results"
}
echo "| stream ($BITS-bit, $ROUNDS rounds) | x86_64 DLL, wine64 | i686 DLL, 32-bit Wine | i686 / x86_64 | mean processor time, i686 / x86_64 |"
echo "|---|---|---|---|---|"
for s in "${streams[@]}"; do
  awk -v s="$s" -v a="$(best x86_64 "$s" 3)" -v b="$(best i686 "$s" 3)" -v pa="$(mean x86_64 "$s" 5)" \
      -v pb="$(mean i686 "$s" 5)" \
    'BEGIN { printf "| %s | %.0f ms | %.0f ms | %.2f× | %.0f / %.0f ms = %.2f× |\n", s, a * 1000, b * 1000, b / a, pb * 1000, pa * 1000, pb / pa }'
done
