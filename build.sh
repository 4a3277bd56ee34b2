#!/usr/bin/env bash
# Build helper for a fresh Debian machine: installs what is missing, builds, and runs.
#   ./build.sh demo    build and decode the bundled sample
#   ./build.sh test    build and run every test (plain, then with ASan+UBSan, the two-thread test
#                      with ThreadSanitizer, then the Windows builds),
#                      then each libFuzzer target for FUZZ_SECONDS (default 90)
#   ./build.sh fuzz    only the libFuzzer targets
#   ./build.sh build   only build (build/release)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=$(nproc 2>/dev/null || echo 2)
BUILD=${MPEGIN_BUILD_ROOT:-build}   # where the release, sanitizer and fuzz build folders go

PACKAGES=(cmake g++ ninja-build pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev libsndfile1-dev libtag1-dev mpg123 ffmpeg lame)
# wine32:i386 runs the 32-bit module, the real target; it needs Debian's i386 architecture.
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
                  wine64 wine32:i386 xvfb)

add_i386_architecture() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    local sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo dpkg --add-architecture i386   # install_missing then updates the package lists
  fi
}

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    local sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

configure_and_build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

configure_and_build_targets() {  # dir, "targets", extra cmake args...
  local dir=$1 targets=$2; shift 2
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$JOBS" --target $targets
}

PASSED=0
run_ctest() {  # dir
  local log="$1/ctest-summary.txt"
  (cd "$1" && ctest --output-on-failure -j "$JOBS" --timeout 1200) | tee "$log"
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  PASSED=$((PASSED + ${n:-0}))
}

# The two libFuzzer targets (clang, ASan+UBSan), each for FUZZ_SECONDS (default 90), seeded
# from the heads of the compliance streams (or the bundled sample). Any crash, leak, sanitizer
# report, hang (-timeout) or excess memory (-rss_limit_mb) fails the run; the input that caused
# it is kept in build/fuzz/findings/ (MPEGIN_BUILD_ROOT moves build/).
fuzz_tests() {
  install_missing clang
  local dir=$BUILD/fuzz seconds=${FUZZ_SECONDS:-90}
  configure_and_build_targets "$dir" "fuzz_decoder fuzz_module" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMPEGIN_SANITIZE=ON -DMPEGIN_LIBFUZZER=ON \
    -DMPEGIN_BUILD_TESTS=OFF -DMPEGIN_BUILD_BENCH=OFF
  local seeds=$dir/seeds streams=()
  rm -rf "$seeds"
  mkdir -p "$seeds/decoder" "$seeds/module" "$dir/findings" "$dir/corpus/decoder" "$dir/corpus/module"
  local conformance=${MPEG_CONFORMANCE_DIR:-$ROOT/../shared/conformance}
  streams=("$conformance"/*.bit)
  [ -f "${streams[0]}" ] || streams=("$ROOT"/samples/*.mp*)
  # The module target reads an OptionWord, a stored OptionWord, a call selector and 16 bytes of
  # dialog text before the file: seeds cycle through 32-bit, 16-bit and dithered 16-bit words.
  local prefixes=('\x20\x4e\x20\x00' '\x20\x4e\x10\x00' '\x20\x4e\x10\x01') i=0
  for f in "${streams[@]}"; do
    local name
    name=$(basename "$f")
    head -c 6000 "$f" > "$seeds/decoder/$name"
    { printf "${prefixes[$((i % 3))]}"'\x00\x00\x00\x00\x00'; head -c 16 /dev/zero; head -c 6000 "$f"; } \
      > "$seeds/module/$name"
    i=$((i + 1))
  done
  for target in decoder module; do
    echo "== fuzz_$target for ${seconds}s"
    local log=$dir/fuzz_$target.log status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/findings/$target-" \
      "$dir/corpus/$target" "$seeds/$target" > "$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
      tail -n 80 "$log" >&2
      echo "fuzz_$target: finding (status $status); input kept in $dir/findings, log in $log" >&2
      exit 1
    fi
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' "$log" || true
  done
}

windows_tests() {
  if [ -f "$ROOT/tests/windows/run.sh" ]; then
    add_i386_architecture
    install_missing "${WINDOWS_PACKAGES[@]}"
    bash "$ROOT/tests/windows/run.sh"
  fi
}

cmd=${1:-demo}
case "$cmd" in
  build)
    install_missing "${PACKAGES[@]}"
    configure_and_build "$BUILD/release" -DCMAKE_BUILD_TYPE=Release
    ;;
  demo)
    install_missing "${PACKAGES[@]}"
    configure_and_build "$BUILD/release" -DCMAKE_BUILD_TYPE=Release
    mkdir -p "$BUILD/demo"
    "$BUILD/release/tools/mpegdec/mpegdec" --info samples/chime.mp2
    "$BUILD/release/tools/mpegdec/mpegdec" -y -v -o "$BUILD/demo/chime.wav" samples/chime.mp2
    ;;
  test)
    install_missing "${PACKAGES[@]}"
    echo "== release build and tests"
    configure_and_build "$BUILD/release" -DCMAKE_BUILD_TYPE=Release
    run_ctest "$BUILD/release"
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    configure_and_build "$BUILD/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMPEGIN_SANITIZE=ON -DMPEGIN_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest "$BUILD/asan"
    echo "== ThreadSanitizer: two decoders on two threads"
    configure_and_build_targets "$BUILD/tsan" thread_tests -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMPEGIN_TSAN=ON \
      -DMPEGIN_BUILD_BENCH=OFF -DMPEGIN_BUILD_FUZZ=OFF
    TSAN_OPTIONS=halt_on_error=1 "$BUILD/tsan/tests/thread_tests"
    windows_tests
    echo "== libFuzzer targets"
    fuzz_tests
    echo "ctest: $PASSED passed, 0 failed; fuzzers ran without a finding"
    ;;
  fuzz)
    install_missing "${PACKAGES[@]}"
    fuzz_tests
    ;;
  *)
    echo "usage: $0 demo|test|fuzz|build" >&2; exit 2 ;;
esac
