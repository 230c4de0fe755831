# Sourced by the Wine check scripts: `check NAME COMMAND...` runs one check with its output in
# $work/out.txt, prints PASS or FAIL with its time (and the output of a failed one) and notes a
# failure in $failed.
failed=0
check() {
  local name=$1 started=$SECONDS
  shift
  if "$@" >"$work/out.txt" 2>&1; then
    echo "PASS $name ($((SECONDS - started)) s)"
  else
    echo "FAIL $name ($((SECONDS - started)) s)"
    sed 's/^/    /' "$work/out.txt"
    failed=1
  fi
}
