#!/usr/bin/env bash
# Fails when a C or C++ file differs from the checked-in .clang-format style;
# lists the files. Fix with: git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r f; do
  clang-format --style=file "$f" | cmp -s - "$f" || bad+=("$f")
done < <(git ls-files '*.c' '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
  printf 'Not formatted with clang-format (%d files):\n' "${#bad[@]}"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "clang-format: all files formatted"
