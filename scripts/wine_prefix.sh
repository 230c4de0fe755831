# The common ground of the Wine check scripts (sourced after `cd` to the checkout): the PASS/FAIL
# step, the build folders ($win, $win_tests, $linux), a temporary folder $work with a fresh
# prefix in $work/prefix, the 64-bit loader in $wine, and programs started in the background
# that are ended, with the prefix's wineserver, when the script exits.
# shellcheck shell=bash disable=SC2034 # the variables are the sourcing script's
source scripts/check_step.sh
win=$PWD/build-windows/bin
win_tests=$PWD/build-windows/tests
linux=$PWD/build/bin
wine=/usr/lib/wine/wine64 # Debian's wine64 on PATH is a wrapper that wants the 32-bit loader
work=$(mktemp -d)
background=()
export WINEPREFIX=$work/prefix
end_wine_checks() {
  local pid
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; done
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap end_wine_checks EXIT

# Starts a program in the background (ended at exit), its output in $work/$1.txt, and waits up
# to 10 s for its READY line (a simulator's); $started is its process id.
start_ready() { # name, then the command
  local name=$1
  shift
  "$@" >"$work/$name.txt" 2>&1 &
  started=$!
  background+=("$started")
  for _ in $(seq 100); do grep -q '^READY' "$work/$name.txt" && return 0; sleep 0.1; done
  cat "$work/$name.txt" >&2
  return 1
}
