#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses what was installed: mpegdec loads the
# installed module by itself, the man page and the pkg-config file are in place, and a
# program builds against the installed decoder library and decodes the sample with it.
#   install_test.sh BUILD_DIR SAMPLE [EXTRA_COMPILER_FLAGS...]
set -euo pipefail
build=$1
sample=$2
shift 2
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
[ -f "$prefix/include/mpegaudio/decoder/decoder_context.h" ] || fail "headers missing"
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

# Build against the installed library through pkg-config.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs mpegaudio) || fail "pkg-config cannot find mpegaudio"
cat > "$prefix/probe.cpp" <<'CPP'
#include <cstdio>
#include "decoder/decoder_context.h"
int main(int argc, char** argv) {
  mpegin::DecoderContext context;
  mpegin::StreamInfo info{};
  if (argc < 2 || context.open(argv[1]) != 1 || context.describe(info) != 1) return 1;
  std::printf("%d %d\n", info.sample_rate, info.channel_count);
  return 0;
}
CPP
# shellcheck disable=SC2086
g++ -std=c++17 "$@" -o "$prefix/probe" "$prefix/probe.cpp" $flags || fail "cannot build against mpegaudio"
"$prefix/probe" "$sample" | grep -Eq '^[0-9]+ [12]$' || fail "probe did not describe the sample"
echo "install test: ok ($prefix)"
