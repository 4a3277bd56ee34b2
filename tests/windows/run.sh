#!/usr/bin/env bash
# Builds the Windows presets and tests them under Wine, inside Xvfb for the options dialog:
#   1. the export table of the 32-bit module (objdump);
#   2. the Windows test host built for i686 under 32-bit Wine against the i686 DLL (the
#      module's real target), then the x86_64 host under wine64 against the x86_64 DLL: each
#      loads mpeginput.dll and drives every export through the real API, the dialog included;
#   3. the 32-bit output of every compliance stream from both DLLs, on each vector path
#      (MPEGIN_SIMD: baseline, avx, avx2, avx512; a path the processor lacks falls back to the
#      widest it has), must be the same bits.
# Needs the MinGW-w64 cross compilers, wine64, 32-bit Wine (wine32:i386), Xvfb and python3.
# When something is missing the tests are skipped with the reason, and the script succeeds,
# unless MPEGIN_REQUIRE_WINDOWS=1. The compliance streams come from MPEG_CONFORMANCE_DIR
# (default ../shared/conformance).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 2)

skip() {
  if [ "${MPEGIN_REQUIRE_WINDOWS:-0}" = 1 ]; then
    echo "== Windows tests: FAILED, $* (MPEGIN_REQUIRE_WINDOWS=1)" >&2
    exit 1
  fi
  echo "== Windows tests: SKIPPED, $*"
  exit 0
}

# The first of the candidates that is an executable file.
first_executable() {
  for candidate in "$@"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then echo "$candidate"; return; fi
  done
}

missing=()
for tool in cmake ninja python3 xvfb-run \
            i686-w64-mingw32-g++ i686-w64-mingw32-windres i686-w64-mingw32-objdump \
            x86_64-w64-mingw32-g++ x86_64-w64-mingw32-windres; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
# Debian keeps the loaders outside PATH: wine64 for 64-bit programs, wine for 32-bit ones.
WINE64=$(first_executable "${WINE64:-}" /usr/lib/wine/wine64 "$(command -v wine64 2>/dev/null)")
WINE32=$(first_executable "${WINE32:-}" /usr/lib/wine/wine "$(command -v wine 2>/dev/null)")
[ -n "$WINE64" ] || missing+=("wine64")
[ -n "$WINE32" ] || missing+=("wine32:i386")
if [ ${#missing[@]} -gt 0 ]; then
  skip "missing ${missing[*]} (Debian: g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386 xvfb python3 ninja-build)"
fi
WINESERVER=$(first_executable "$(dirname "$WINE64")/wineserver" "$(command -v wineserver 2>/dev/null)")
WINESERVER=${WINESERVER:-true}

for preset in windows-i686 windows-x86_64; do
  echo "== building preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$JOBS"
done

echo "== export table of the 32-bit module"
python3 tests/windows/check_exports.py build/windows-i686/src/host/mpeginput.dll i686-w64-mingw32-objdump ||
  { echo "== Windows tests: export table FAILED" >&2; exit 1; }

CONFORMANCE=${MPEG_CONFORMANCE_DIR:-$ROOT/../shared/conformance}
[ -d "$CONFORMANCE" ] && CONFORMANCE=$(cd "$CONFORMANCE" && pwd) || echo "(no compliance streams at $CONFORMANCE)"
# One 64-bit prefix runs both: 32-bit programs under WoW64 with the 32-bit loader.
PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/mpegin-wine.XXXXXX")
cleanup() {
  WINEPREFIX=$PREFIX "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$PREFIX"
}
trap cleanup EXIT
export WINEPREFIX=$PREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINE32 WINE64 WINESERVER CONFORMANCE ROOT MPEGIN_REQUIRE_CONFORMANCE=${MPEGIN_REQUIRE_CONFORMANCE:-0}
export DIGESTS=$PREFIX/digests
mkdir -p "$DIGESTS"

echo "== Windows test host: i686 under 32-bit Wine, x86_64 under wine64 (Xvfb)"
# Inside one X server: set up the prefix quietly, run the hosts, then stop Wine's own
# processes before the display goes away. Each run's digest lines are kept for the comparison.
timeout 600 xvfb-run -a bash -c '
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
  status=0
  run() {  # name, loader, build folder, host arguments...
    local name=$1 loader=$2 build=$ROOT/build/$3; shift 3
    echo "-- $name"
    "$loader" "$build/tests/windows/windows_host.exe" "$@" "$build/src/host/mpeginput.dll" "$CONFORMANCE" \
      > "$DIGESTS/$name.log" 2>&1 || status=1
    grep -v "^digest " "$DIGESTS/$name.log" | grep -v "^\[  OK  \]" || true
    grep "^digest " "$DIGESTS/$name.log" > "$DIGESTS/$name.digests" || true
  }
  run i686 "$WINE32" windows-i686
  run x86_64 "$WINE64" windows-x86_64
  for path in baseline avx avx2 avx512; do
    MPEGIN_SIMD=$path run "i686-$path" "$WINE32" windows-i686 --digests
    MPEGIN_SIMD=$path run "x86_64-$path" "$WINE64" windows-x86_64 --digests
  done
  "$WINESERVER" -k >/dev/null 2>&1 || true
  exit $status' ||
  { echo "== Windows tests: the test host under Wine FAILED" >&2; exit 1; }

echo "== the same 32-bit output from both modules on every vector path"
for run in x86_64 i686-baseline x86_64-baseline i686-avx x86_64-avx i686-avx2 x86_64-avx2 \
           i686-avx512 x86_64-avx512; do
  if ! cmp -s "$DIGESTS/i686.digests" "$DIGESTS/$run.digests"; then
    diff "$DIGESTS/i686.digests" "$DIGESTS/$run.digests" | head -n 20 >&2 || true
    echo "== Windows tests: output of $run differs from the i686 module's FAILED" >&2
    exit 1
  fi
done
echo "   $(wc -l < "$DIGESTS/i686.digests") streams, identical on i686 and x86_64, baseline, avx, avx2 and avx512"
echo "== Windows tests passed"
