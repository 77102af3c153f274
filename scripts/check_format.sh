#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what the project's .clang-format
# makes of it, and names the files. `scripts/check_format.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.h' '*.hpp' '*.cpp' '*.cc')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One run over every file; its complaints name the file first ("file:line:column: error").
mapfile -t differing < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 |
  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ ${#differing[@]} -gt 0 ]; then
  printf 'differs from .clang-format: %s\n' "${differing[@]}"
  echo "${#differing[@]} file(s) differ; scripts/check_format.sh --fix formats them" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format has them"
