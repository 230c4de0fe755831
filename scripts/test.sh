#!/usr/bin/env bash
# Builds the project and runs the whole test suite: the normal build, then the
# address+undefined and thread sanitizer builds, then each fuzz target briefly over its corpus.
# Usage: scripts/test.sh [preset...]   (default: default asan tsan fuzz)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default asan tsan fuzz)
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  echo "=== $preset: test"
  ctest --preset "$preset"
done
echo "=== all test runs passed: ${presets[*]}"
