#!/usr/bin/env bash
# The main job: a silent configured firmware update, end to end, on this machine.
#
# Installs what is missing, builds what is missing, starts a simulated Halvane terminal on a
# 57600 baud line, writes a configuration (GUI "no", REPORTSTATUS "yes") that names the
# sample firmware image, runs Morlin silently with the terminal plug-in VUPPorta, and then
# shows the log and checks that the terminal holds exactly the image's bytes.
# Exit status 0 only when everything worked. Nothing is left running.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$root/build/bin"
image="$root/build/samples/HalvaneFirmware.bin"
cd "$root"

step() { printf '\n== %s\n' "$*"; }
fail() { printf '\nMAIN JOB FAILED: %s\n' "$*" >&2; exit 1; }

step "Packages"
"$root/scripts/setup.sh"

step "Build"
needed=("$bin/Morlin" "$bin/MorlinCfg" "$bin/VUPPorta.so" "$bin/MORLNRES.so" "$bin/HalvaneSim"
        "$image")
missing=0
for file in "${needed[@]}"; do
  [ -e "$file" ] || missing=1
done
if [ "$missing" -eq 1 ]; then
  # Only the programs the job runs: the test suite is built by scripts/test.sh.
  cmake --preset default
  cmake --build --preset default --target Morlin MorlinCfg VUPPorta MORLNRES HalvaneSim \
    sample_firmware
else
  echo "Everything is built already (build/bin)."
fi
for file in "${needed[@]}"; do
  [ -e "$file" ] || fail "the build did not produce $file"
done

# One temporary folder for everything; removed at the end, the simulator stopped.
run_dir="$(mktemp -d "${TMPDIR:-/tmp}/morlin-main-job.XXXXXX")"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export MORLIN_DEVICES="$run_dir/devices"
export MORLIN_INHIBIT=none
export TMPDIR="$run_dir/tmp"
mkdir -p "$MORLIN_DEVICES" "$TMPDIR" "$run_dir/work"

step "Simulated Halvane terminal (57600 baud line)"
"$bin/HalvaneSim" --line-baud 57600 --image-out "$run_dir/received.bin" \
  >"$run_dir/sim.out" 2>"$run_dir/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  grep -q '^READY' "$run_dir/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
grep '^READY' "$run_dir/sim.out" || { cat "$run_dir/sim.err" >&2; fail "the simulator did not start"; }

step "Configuration"
work="$run_dir/work"
cp "$image" "$work/"
# The plug-in is found as VUP*.so in the current folder.
ln -s "$bin/VUPPorta.so" "$work/VUPPorta.so"
(cd "$work" && "$bin/MorlinCfg" write Morlin.cfg --option GUI=no --option REPORTSTATUS=yes \
  --download "$(basename "$image")")
(cd "$work" && "$bin/MorlinCfg" show Morlin.cfg)

step "Silent update with Morlin"
started=$(date +%s.%N)
set +e
(cd "$work" && MORLIN_UI=console MORLIN_LOG_FILE="$work/Morlin.log" LC_ALL=C "$bin/Morlin") \
  2>"$run_dir/morlin.err"
morlin_status=$?
set -e
finished=$(date +%s.%N)
cat "$run_dir/morlin.err"
if grep -q 'Morlin is already running' "$run_dir/morlin.err"; then
  fail "another Morlin is running on this machine (same user): close it and run the job again"
fi
printf 'Morlin exit code %d (a silent configured run always ends with 255) after %.1f s\n' \
  "$morlin_status" "$(awk -v a="$started" -v b="$finished" 'BEGIN { print b - a }')"

step "Log (Morlin.log)"
cat "$work/Morlin.log" 2>/dev/null | tr -d '\r' || echo "(no log written)"

step "Terminal"
kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=""
cat "$run_dir/sim.out"
sent=$(sha256sum "$image" | cut -d' ' -f1)
received=$(sed -n 's/^RECEIVED .*sha256=\([0-9a-f]*\).*/\1/p' "$run_dir/sim.out")
echo "image    sha256 $sent ($(stat -c %s "$image") bytes)"
echo "terminal sha256 ${received:-none}"

failures=()
[ "$morlin_status" -eq 255 ] || failures+=("Morlin ended with exit code $morlin_status, not 255")
grep -qiE '^MSGBOX +info' "$run_dir/morlin.err" || failures+=("Morlin did not report success")
if grep -qiE '^MSGBOX +(error|warn)' "$run_dir/morlin.err"; then
  failures+=("Morlin showed an error")
fi
[ -n "$received" ] || failures+=("the terminal completed no download")
[ "$received" = "$sent" ] || failures+=("the terminal does not hold the image's bytes")
[ -f "$run_dir/received.bin" ] && cmp -s "$image" "$run_dir/received.bin" ||
  failures+=("the received image differs from the file")

if [ ${#failures[@]} -ne 0 ]; then
  for reason in "${failures[@]}"; do echo "- $reason" >&2; done
  fail "${#failures[@]} check(s) failed"
fi
printf '\nMAIN JOB OK: the terminal holds exactly %s.\n' "$(basename "$image")"
