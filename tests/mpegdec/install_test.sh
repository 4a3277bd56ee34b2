#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses what was installed: mpegdec loads the
# installed module by itself, the man page and the pkg-config file are in place, only the
# public headers are installed, and a C program builds against the installed decoder library,
# shared and static, and decodes the sample with it; the library's example, built against the
# installation, writes what mpegdec writes (examples/check_installed.sh) for the sample and a
# compliance stream.
#   install_test.sh BUILD_DIR SAMPLE CONFORMANCE_DIR [EXTRA_COMPILER_FLAGS...]
# MPEG_CONFORMANCE_DIR overrides CONFORMANCE_DIR; a missing stream is passed over unless
# MPEGIN_REQUIRE_CONFORMANCE=1.
set -euo pipefail
build=$1
sample=$2
stream=${MPEG_CONFORMANCE_DIR:-$3}/l3-compl.bit
shift 3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/mpegdec-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(cd "$prefix" && ls -d lib*/ | head -n 1)
libdir=${libdir%/}
[ -x "$prefix/bin/mpegdec" ] || fail "bin/mpegdec missing"
[ -f "$prefix/$libdir/mpegin/libmpeginput.so" ] || fail "module missing"
[ -f "$prefix/$libdir/mpegin/libmpegdec_tags.so" ] || fail "tag plug-in missing"
[ -f "$prefix/$libdir/libmpegaudio.a" ] || fail "libmpegaudio.a missing"
[ "$(readlink "$prefix/$libdir/libmpegaudio.so")" = libmpegaudio.so.1 ] || fail "libmpegaudio.so is not a link to libmpegaudio.so.1"
[ -f "$prefix/$libdir/libmpegaudio.so.1" ] || fail "libmpegaudio.so.1 missing"
readelf -d "$prefix/$libdir/libmpegaudio.so.1" | grep -q 'SONAME.*\[libmpegaudio\.so\.1\]' || fail "soname is not libmpegaudio.so.1"
# Headers: the module's and the library's public ones, nothing of the decoder's inside.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
case "$headers" in
  "./mpegaudio/mpegaudio.h ./mpegin/mpeginput.h " | "./mpegaudio/mpegaudio.h ./mpegaudio/mpegaudio.hpp ./mpegin/mpeginput.h ") ;;
  *) fail "installed headers: $headers" ;;
esac
# The shared library exports the C calls alone, and needs the shared C++ runtime only where the
# module does (sanitizer builds).
others=$(nm -D --defined-only "$prefix/$libdir/libmpegaudio.so.1" | awk '$3 !~ /^mpegaudio_/ {print $3}')
[ -z "$others" ] || fail "libmpegaudio.so exports $others"
nm -D --defined-only "$prefix/$libdir/libmpegaudio.so.1" | grep -q ' mpegaudio_decode$' || fail "mpegaudio_decode not exported"
if ! readelf -d "$prefix/$libdir/mpegin/libmpeginput.so" | grep -q 'NEEDED.*libstdc++'; then
  if readelf -d "$prefix/$libdir/libmpegaudio.so.1" | grep -q 'NEEDED.*libstdc++'; then
    fail "libmpegaudio.so needs libstdc++.so"
  fi
fi
[ -f "$prefix/share/man/man1/mpegdec.1" ] || fail "man page missing"
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/mpegdec.1" 2>&1) || fail "man page does not format"
  [ -z "$warnings" ] || fail "man page: $warnings"
fi

# The installed program must load the installed module, not the build tree's.
loaded=$(env -u MPEGIN_MODULE XDG_CONFIG_HOME="$prefix/config" LD_DEBUG=files \
         "$prefix/bin/mpegdec" --info "$sample" 2>&1 >/dev/null | grep -o '[^ =]*libmpeginput\.so' | head -n 1)
case "$loaded" in
  "$prefix"/bin/../$libdir/mpegin/libmpeginput.so) ;;
  *) fail "installed mpegdec loaded '$loaded'" ;;
esac
XDG_CONFIG_HOME="$prefix/config" "$prefix/bin/mpegdec" -q -o "$prefix/out.wav" "$sample" || fail "decode failed"

# Build a C program against the installed library through pkg-config, shared and static; both
# decode the whole sample to the length the library announced.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
shared_flags=$(pkg-config --cflags --libs mpegaudio) || fail "pkg-config cannot find mpegaudio"
static_flags=$(pkg-config --static --cflags --libs mpegaudio)
static_flags=${static_flags/-lmpegaudio/-l:libmpegaudio.a}
cat > "$prefix/probe.c" <<'C'
#include <stdio.h>
#include <mpegaudio/mpegaudio.h>
int main(int argc, char** argv) {
  mpegaudio_decoder* decoder = mpegaudio_new();
  mpegaudio_info info;
  mpegaudio_frame frame;
  unsigned long long samples = 0;
  int status;
  if (argc < 2 || decoder == NULL) return 1;
  if (mpegaudio_open_file(decoder, argv[1], 0) != MPEGAUDIO_OK ||
      mpegaudio_get_info(decoder, &info) != MPEGAUDIO_OK) {
    fprintf(stderr, "%s\n", mpegaudio_message(decoder));
    return 1;
  }
  while ((status = mpegaudio_decode(decoder, &frame)) == MPEGAUDIO_OK) samples += frame.sample_count;
  printf("%d %d %llu %lld\n", (int)info.sample_rate, (int)info.channels, samples, (long long)info.samples);
  mpegaudio_delete(decoder);
  return status == MPEGAUDIO_END ? 0 : 1;
}
C
cc=${CC:-cc}
# shellcheck disable=SC2086
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$@" -o "$prefix/probe_shared" "$prefix/probe.c" \
  -Wl,-rpath,"$prefix/$libdir" $shared_flags || fail "cannot build against libmpegaudio.so"
# shellcheck disable=SC2086
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$@" -o "$prefix/probe_static" "$prefix/probe.c" \
  $static_flags || fail "cannot build against libmpegaudio.a with pkg-config --static"
readelf -d "$prefix/probe_shared" | grep -q 'NEEDED.*\[libmpegaudio\.so\.1\]' || fail "shared probe does not use libmpegaudio.so.1"
if readelf -d "$prefix/probe_static" | grep -q 'NEEDED.*libmpegaudio'; then
  fail "static probe uses the shared library"
fi
for kind in shared static; do
  out=$("$prefix/probe_$kind" "$sample") || fail "$kind probe could not decode the sample"
  # rate, channels, samples decoded = samples announced
  echo "$out" | grep -Eq '^[0-9]+ [12] ([1-9][0-9]*) \1$' || fail "$kind probe: '$out'"
done

examples=("$sample")
if [ -f "$stream" ] || [ "${MPEGIN_REQUIRE_CONFORMANCE:-0}" = 1 ]; then examples+=("$stream"); fi
CXXFLAGS="$*" bash "$(dirname "$0")/../../examples/check_installed.sh" "$prefix" "${examples[@]}" ||
  fail "the example does not decode as mpegdec does"
echo "install test: ok ($prefix)"
