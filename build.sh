#!/usr/bin/env bash
# Build helper for a fresh Debian machine: installs what is missing, builds, and runs.
#   ./build.sh demo    build and decode the bundled sample
#   ./build.sh test    build and run every test (plain, then with ASan+UBSan, then the Windows builds)
#   ./build.sh build   only build (build/release)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=$(nproc 2>/dev/null || echo 2)

PACKAGES=(cmake g++ ninja-build pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev libsndfile1-dev mpg123 ffmpeg)
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
                  wine64 xvfb)

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

PASSED=0
run_ctest() {  # dir
  local log="$1/ctest-summary.txt"
  (cd "$1" && ctest --output-on-failure -j "$JOBS" --timeout 1200) | tee "$log"
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  PASSED=$((PASSED + ${n:-0}))
}

windows_tests() {
  if [ -f "$ROOT/tests/windows/run.sh" ]; then
    install_missing "${WINDOWS_PACKAGES[@]}"
    bash "$ROOT/tests/windows/run.sh"
  fi
}

cmd=${1:-demo}
case "$cmd" in
  build)
    install_missing "${PACKAGES[@]}"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release
    ;;
  demo)
    install_missing "${PACKAGES[@]}"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release
    mkdir -p build/demo
    ./build/release/tools/mpegdec/mpegdec --info samples/chime.mp2
    ./build/release/tools/mpegdec/mpegdec -y -v -o build/demo/chime.wav samples/chime.mp2
    ;;
  test)
    install_missing "${PACKAGES[@]}"
    echo "== release build and tests"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release
    run_ctest build/release
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    configure_and_build build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMPEGIN_SANITIZE=ON -DMPEGIN_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build/asan
    windows_tests
    echo "ctest: $PASSED passed, 0 failed"
    ;;
  *)
    echo "usage: $0 demo|test|build" >&2; exit 2 ;;
esac
