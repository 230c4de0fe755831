#!/usr/bin/env bash
# The Windows part of the test suite: the cross builds (64 bit; the 32-bit CT-API library),
# the Linux programs the smoke checks talk to, then the smoke checks under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
for preset in windows windows-x86; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done
echo "=== windows: the Linux side of the smoke checks"
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target HalvaneSim sample_firmware Morlin MorlinCfg \
  ctapi-send BRANTEL
echo "=== windows: smoke checks under Wine"
scripts/windows_smoke.sh
echo "=== windows: Morlin's dialogs under Wine on a virtual display"
scripts/windows_dialogs.sh
