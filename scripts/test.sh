#!/usr/bin/env bash
# Builds the project and runs the whole test suite: the normal build (and the Debian packages
# with their install test, scripts/package_test.sh), then the
# address+undefined and thread sanitizer builds, then each fuzz target briefly over its corpus,
# then the Windows cross builds, the platform contract tests and the smoke checks under Wine
# (docs/windows.md).
# Usage: scripts/test.sh [preset...]   (default: default asan tsan fuzz windows)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default asan tsan fuzz windows)
for preset in "${presets[@]}"; do
  if [ "$preset" = windows ]; then
    scripts/windows_test.sh
    continue
  fi
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  echo "=== $preset: test"
  ctest --preset "$preset"
  if [ "$preset" = default ]; then
    scripts/package_test.sh # the Debian packages from the release build, and their install test
  fi
done
echo "=== all test runs passed: ${presets[*]}"
