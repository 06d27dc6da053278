#!/usr/bin/env bash
# Fails when a C++ file tracked by git is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [[ ${#bad[@]} -gt 0 ]]; then
    echo "Not formatted (run clang-format -i):"
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "Formatting: ${#files[@]} files checked, all clean."
