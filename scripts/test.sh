#!/usr/bin/env bash
# Installs what is missing, checks the layering of the includes and the format of the C++
# files, builds, and runs every test: the normal build's tests, a soak of one minute
# (scripts/soak.sh), the Debian package made, linted and checked as installed, then the unit
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then the tests that run
# the product's threads under ThreadSanitizer. Each stage prints its time.
#   scripts/test.sh           everything
#   scripts/test.sh --quick   without the sanitizer passes
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

stage_start=$SECONDS
stage_done() { echo "== $1 took $((SECONDS - stage_start)) s"; stage_start=$SECONDS; }

echo "== layers and format"
python3 scripts/check_layers.py
bash scripts/check_format.sh
stage_done "layers and format"

echo "== tests (build/)"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600
stage_done "tests (build/)"

echo "== soak: the demo plant under client churn for one minute (build/soak/)"
VELKOPC_DEMO_NO_SETUP=1 bash scripts/soak.sh 1
stage_done "soak"

echo "== package (build-package/)"
if command -v dpkg-deb >/dev/null && command -v cpack >/dev/null; then
  deb=$(VELKOPC_NO_SETUP=1 bash scripts/package.sh | tail -n 1)
  bash tests/packaging/installed_package_test.sh "$deb"
else
  echo "SKIP package: not a Debian system (dpkg-deb or cpack missing)"
fi
stage_done "package"

[ "${1:-}" = "--quick" ] && exit 0

# The sanitizer builds leave out the benchmarks and the programs that their tests do not
# start: they build only the test targets they run, the product in unity units (which the
# main build does not use, so both ways of compiling stay sound). The GUI's widget tests
# (offscreen) run under AddressSanitizer too; the thread sanitizer build leaves the GUI out.
# ccache, where the machine has it, makes a rebuild of an unchanged GUI quick.
sanitizer_build() {
  local dir=$1 sanitize=$2 type=$3 target=$4 gui=$5 launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DVELK_SANITIZE="$sanitize" \
    -DVELK_BUILD_GUI="$gui" -DVELK_BUILD_BENCH=OFF -DVELK_UNITY_BUILD=ON "${launcher[@]}" >/dev/null
  cmake --build "$dir" --target "$target"
}

echo "== unit tests under address and undefined-behaviour sanitizers (build-asan/)"
sanitizer_build build-asan address,undefined Debug unit_tests ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit --timeout 600
stage_done "address and undefined-behaviour sanitizers (build-asan/)"

echo "== threaded tests under the thread sanitizer (build-tsan/)"
sanitizer_build build-tsan thread RelWithDebInfo threaded_tests OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L threaded --timeout 900
stage_done "thread sanitizer (build-tsan/)"
