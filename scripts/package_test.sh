#!/usr/bin/env bash
# Builds the Debian packages from the release preset (cpack -G DEB), checks them as Debian
# would (lintian, desktop-file-validate, appstreamcli), unpacks them into a throw-away root
# and runs the installed programs from outside the build folder: Morlin's silent configured
# run into the terminal simulator, and Valdrun -CHECK against it (docs/packaging.md).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
started=$(date +%s)

echo "=== packages: release build and cpack"
cmake --preset release >/dev/null
cmake --build --preset release -j 2
rm -f build-release/*.deb
(cd build-release && cpack -G DEB >/dev/null)
debs=(build-release/morlin_*.deb build-release/morlin-dev_*.deb)
for deb in "${debs[@]}"; do
  [ -f "$deb" ] || { echo "no package $deb" >&2; exit 1; }
  dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\):/  \1:/p'
done

echo "=== packages: lintian, desktop-file-validate, appstreamcli"
# The tags lintian gives that are explained in docs/packaging.md, "lintian".
lintian --fail-on error --suppress-tags-from-file packaging/lintian-accepted.txt "${debs[@]}"

run="$(mktemp -d "${TMPDIR:-/tmp}/morlin-package-test.XXXXXX")"
sim_pid=""
cleanup() {
  [ -z "$sim_pid" ] || { kill -TERM "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  rm -rf "$run"
}
trap cleanup EXIT
installed="$run/root"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$installed"; done
desktop-file-validate "$installed/usr/share/applications/org.morlin.Morlin.desktop"
appstreamcli validate --no-net --pedantic \
  "$installed/usr/share/metainfo/org.morlin.Morlin.metainfo.xml"

echo "=== packages: the installed programs against the terminal simulator"
export MORLIN_DEVICES="$run/devices" MORLIN_INHIBIT=none MORLIN_REAL_PORTS=none
export TMPDIR="$run/tmp" LC_ALL=C MORLIN_UI=console
unset LD_LIBRARY_PATH
mkdir -p "$MORLIN_DEVICES" "$TMPDIR" "$run/work"
cp build-release/samples/HalvaneFirmware.bin "$run/work/"
build-release/bin/HalvaneSim --image-out "$run/received.bin" >"$run/sim.out" 2>"$run/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  grep -q '^READY' "$run/sim.out" 2>/dev/null && break
  sleep 0.05
done
grep -q '^READY' "$run/sim.out" || { cat "$run/sim.err" >&2; exit 1; }

# ctapi-send loads BRANTEL by name from the product's folder and asks the terminal its status.
(cd "$run/work" && "$installed/usr/bin/ctapi-send" "20 13 00 46 00") ||
  { echo "the installed ctapi-send had no answer through the installed BRANTEL" >&2; exit 1; }

# Valdrun reads its description beside the program. In check mode a terminal description runs
# the reader checks under the terminal's name (docs/valdrun.md), so the simulated terminal,
# which is no reader, gives 2: the run itself, from the installed tree, is what is checked.
printf '[ReaderDetails]\nTerminalName=Halvane\nVID=04E6\nPID=1A02\nFWVER=2.1.4\nAPPVER=1.5\nDescriptor=Halvane\nFWUpdateTool=FWUpdate\n' \
  >"$installed/usr/bin/Valdrun.ini"
set +e
(cd "$run/work" && PCSCLITE_CSOCK_NAME="$run/no-pcscd.comm" MORLIN_ADMINISTRATOR=yes \
  "$installed/usr/bin/Valdrun" -CHECK)
status=$?
set -e
[ "$status" -eq 2 ] || { echo "installed Valdrun -CHECK gave $status, not 2" >&2; exit 1; }
rm "$installed/usr/bin/Valdrun.ini"
set +e
(cd "$run/work" && "$installed/usr/bin/Valdrun" -CHECK)
status=$?
set -e
[ "$status" -eq 6 ] || { echo "installed Valdrun -CHECK without description gave $status, not 6" >&2; exit 1; }
echo "installed Valdrun -CHECK: 2 with the terminal's description, 6 without"

# Morlin finds VUPPorta in its installed plug-in folder: the work folder holds only the image.
cd "$run/work"
"$installed/usr/bin/MorlinCfg" write Morlin.cfg --option GUI=no --option REPORTSTATUS=yes \
  --download HalvaneFirmware.bin >/dev/null
set +e
MORLIN_LOG_FILE="$run/work/Morlin.log" "$installed/usr/bin/Morlin" 2>"$run/morlin.err"
status=$?
set -e
kill -TERM "$sim_pid" && wait "$sim_pid" || true # the simulator writes the image as it ends
sim_pid=""
grep -qiE '^MSGBOX +info' "$run/morlin.err" && [ "$status" -eq 255 ] &&
  cmp -s HalvaneFirmware.bin "$run/received.bin" || {
  cat "$run/morlin.err" Morlin.log >&2 || true
  echo "the installed Morlin did not bring the image into the terminal (exit $status)" >&2
  exit 1
}
echo "installed Morlin: silent configured run done, the terminal holds the image"

echo "=== packages: passed in $(( $(date +%s) - started )) s"
