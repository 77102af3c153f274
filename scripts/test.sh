#!/usr/bin/env bash
# Installs what is missing, checks the layering of the includes and the format of the C++
# files, builds, and runs every test: the normal build's tests, a soak of one minute
# (scripts/soak.sh), the Debian package made, linted and checked as installed, then the unit
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/test.sh           everything
#   scripts/test.sh --quick   without the sanitizer passes
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

echo "== layers and format"
python3 scripts/check_layers.py
bash scripts/check_format.sh

echo "== tests (build/)"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600

echo "== soak: the demo plant under client churn for one minute (build/soak/)"
VELKOPC_DEMO_NO_SETUP=1 bash scripts/soak.sh 1

echo "== package (build/package/)"
if command -v dpkg-deb >/dev/null && command -v cpack >/dev/null; then
  deb=$(VELKOPC_NO_SETUP=1 bash scripts/package.sh | tail -n 1)
  bash tests/packaging/installed_package_test.sh "$deb"
else
  echo "SKIP package: not a Debian system (dpkg-deb or cpack missing)"
fi

[ "${1:-}" = "--quick" ] && exit 0

echo "== unit tests under address and undefined-behaviour sanitizers (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELK_SANITIZE=address,undefined \
  -DVELK_BUILD_GUI=OFF -DVELK_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit --timeout 600
