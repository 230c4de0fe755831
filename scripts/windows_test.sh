#!/usr/bin/env bash
# The Windows part of the test suite: the cross builds (64 bit with the Windows tests; the
# shipped files alone; the 32-bit CT-API library), the Linux programs the smoke checks talk
# to, then the smoke checks, the platform contract tests and Valdrun's housekeeping under
# Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
for preset in windows windows-release windows-x86; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
done
# The shipped files are built without the tests-only switches: not even their names are left.
echo "=== windows-release: no tests-only variable in the shipped files"
hook_names=$(grep -rhoE 'test_hook_variable\("[A-Z_]+"\)' --include='*.cpp' --include='*.h' \
  platform host terminal-plugin ctapi texts-and-log ui cli wrapper | sed 's/.*("\(.*\)")/\1/' | sort -u)
[ -n "$hook_names" ]
for file in build-windows-release/bin/*.exe build-windows-release/bin/*.dll \
  build-windows-x86/bin/BRANTEL.DLL; do
  for name in $hook_names; do
    if grep -qa "$name" "$file"; then
      echo "FAIL $file contains the tests-only variable $name"
      exit 1
    fi
  done
done
echo "PASS none of $(echo $hook_names) in build-windows-release/bin and the 32-bit BRANTEL.DLL"
echo "=== windows: the Linux side of the smoke checks"
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target HalvaneSim ReaderSim sample_firmware Morlin \
  MorlinCfg ctapi-send BRANTEL Valdrun
echo "=== windows: smoke checks under Wine"
scripts/windows_smoke.sh
echo "=== windows: Valdrun.exe under Wine (test winscard.dll, the update tool)"
scripts/windows_valdrun.sh
echo "=== windows: Valdrun's housekeeping under Wine (services, zkaservice.exe)"
scripts/windows_housekeeping.sh
echo "=== windows: Morlin's dialogs under Wine on a virtual display"
scripts/windows_dialogs.sh
