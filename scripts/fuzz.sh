#!/usr/bin/env bash
# Runs every fuzz target under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer:
# builds them with clang in build-fuzz/, then runs each for SECONDS on a working copy of its
# seed corpus (fuzz/corpus/<target>/ stays as it is). Inputs that crash, hang or abort go to
# build-fuzz/findings/<target>/; each run's log to build-fuzz/logs/<target>.log. Ends with one
# line per target: executions, corpus size, findings. Fails when any target has findings.
#   scripts/fuzz.sh SECONDS [TARGET...]   (default: every target in fuzz/corpus/)
# Environment: VELK_FUZZ_JOBS=N builds with N jobs (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-}
case "$seconds" in '' | *[!0-9]*) echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2; exit 2 ;; esac
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

bash scripts/setup.sh --fuzz

out="$root/build-fuzz"
# Assertions stay on; clang's warnings are shown, the normal build judges them.
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DVELK_WERROR=OFF \
  -DCMAKE_CXX_COMPILER=clang++-14 -DVELK_SANITIZE=address,undefined -DVELK_LIBFUZZER=ON \
  -DVELK_BUILD_GUI=OFF -DVELK_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j"${VELK_FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=() failed=0
for target in "${targets[@]}"; do
  corpus="$out/corpus/$target" findings="$out/findings/$target" log="$out/logs/$target.log"
  mkdir -p "$corpus" "$findings" "$out/logs"
  cp -n "fuzz/corpus/$target"/* "$corpus/" 2>/dev/null || true
  echo "== $target: ${seconds} s"
  status=0
  # -fork keeps fuzzing after a finding, so one run reports every kind it meets; each
  # finding is written to the findings directory.
  "$out/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1 || status=$?
  # The last status line's count ("#12345: cov: ..."); none when the target never ran.
  execs=$(grep -Eo '^#[0-9]+' "$log" | tail -1 | tr -d '#' || true)
  count=$(find "$findings" -type f | wc -l)
  size=$(find "$corpus" -type f | wc -l)
  summary+=("$target: ${execs:-?} executions, corpus $size, findings $count (exit $status)")
  [ "$count" -eq 0 ] || failed=1
done
echo "== summary (${seconds} s per target; findings in $out/findings/)"
printf '%s\n' "${summary[@]}"
exit "$failed"
