#!/usr/bin/env bash
# Builds examples/decode_to_raw.cpp against an installed package with pkg-config alone, and
# requires its output for each FILE to be byte for byte what the installed mpegdec writes with
# --raw --format f32. tests/mpegdec/install_test.sh runs it on its scratch installation.
#   check_installed.sh PREFIX FILE...      (CXX and CXXFLAGS are honoured)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1
shift
fail() { echo "installed example: $*" >&2; exit 1; }

libdir=$(cd "$prefix" && ls -d lib*/ | head -n 1)
libdir=${libdir%/}
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs mpegaudio) || fail "pkg-config cannot find mpegaudio"
# shellcheck disable=SC2086
"${CXX:-c++}" -std=c++17 -O2 -Wall -Wextra -Werror ${CXXFLAGS:-} -o "$prefix/decode_to_raw" \
  "$here/decode_to_raw.cpp" $flags -Wl,-rpath,"$prefix/$libdir" ||
  fail "cannot build decode_to_raw against the installed package"

for file in "$@"; do
  [ -f "$file" ] || fail "$file missing"
  "$prefix/decode_to_raw" "$file" "$prefix/example.f32" >/dev/null || fail "decode_to_raw failed on $file"
  # A fresh configuration: no stored options of the user's apply.
  XDG_CONFIG_HOME="$prefix/example-config" "$prefix/bin/mpegdec" -q -y --raw --format f32 \
    -o "$prefix/mpegdec.f32" "$file" || fail "mpegdec failed on $file"
  [ -s "$prefix/example.f32" ] || fail "no samples from $file"
  cmp -s "$prefix/example.f32" "$prefix/mpegdec.f32" ||
    fail "$file: decode_to_raw and mpegdec --raw --format f32 differ ($(stat -c %s "$prefix/example.f32") and $(stat -c %s "$prefix/mpegdec.f32") bytes)"
  echo "installed example: $file: $(($(stat -c %s "$prefix/example.f32") / 4)) floats, as mpegdec writes them"
done
