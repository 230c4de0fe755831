#!/usr/bin/env bash
# Valdrun's housekeeping under Wine, against real services and processes of a fresh prefix:
# the smart-card service SCardSvr with two services that depend on it, and a zkaservice.exe
# companion process (tests/windows/). housekeeping-probe.exe runs Valdrun's own stop before
# the update tool and the closing work's restarts (docs/valdrun.md, "Housekeeping"); the
# services log their starts and stops, so the order is checked from the log. Needs the windows
# preset built (windows_test.sh builds it). Prints one PASS/FAIL line per check with its time;
# exit code 1 when one failed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/wine_prefix.sh
export WINEDEBUG=fixme-all MORLIN_UI=console

# A host path as Windows programs name it (drive Z: is the host's root).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

services=$work/services
zka=$work/zka
mkdir -p "$services" "$zka"
cp "$win/test-service.exe" "$win/housekeeping-probe.exe" "$services/"
cp "$win/zkaservice.exe" "$zka/"
log=$services/log.txt
service_line() { # the command line of test service $1 ($2: refuse)
  printf '"%s" %s "%s"%s' "$(windows_path "$services/test-service.exe")" "$1" \
    "$(windows_path "$log")" "${2:+ $2}"
}
# Runs the probe; its output goes to files, not a pipe: the companion that it starts again
# keeps the standard error it had under Wine (a new process group gets /dev/null only for
# standard input and output), and a pipe would stay open as long as that process runs.
probe() {
  local status=0
  timeout 120 "$wine" "$services/housekeeping-probe.exe" "$@" >"$work/probe.txt" \
    2>"$work/probe-errors.txt" || status=$?
  tr -d '\r' <"$work/probe.txt"
  [ "$status" -eq 0 ] || { echo "exit code $status"; cat "$work/probe-errors.txt"; }
  return "$status"
}

# The service log's lines from line $1 on, as one line.
log_from() { tail -n "+$1" "$log" | tr '\n' ' '; }
# A line of the probe's output ($2: its file) after "$1: ".
said() { sed -n "s/^$1: //p" "$2"; }
# The word list $1 in reverse order.
reversed() { printf '%s\n' $1 | tac | tr '\n' ' '; }

# The prefix is made, and its wineserver has ended, before anything runs: a program started
# while the first boot still ends gets a second service manager, and no service starts.
timeout 180 "$wine" wineboot --init >/dev/null 2>&1
timeout 60 /usr/lib/wine/wineserver -w

# A companion in a folder that ordinary users may add files to (mode 0777: Wine's access list
# then allows Everyone to write there) is ended, but its program is not trusted: it is not
# started again (5). No SCardSvr is registered yet, so the stop fails after it (1060).
open_folder=$work/open
mkdir -p "$open_folder"
chmod 0777 "$open_folder"
cp "$win/zkaservice.exe" "$open_folder/"
(cd "$open_folder" && exec "$wine" ./zkaservice.exe 2>"$work/untrusted-errors.txt") &
untrusted=$!
background+=("$untrusted")
for _ in $(seq 100); do [ -s "$open_folder/started.txt" ] && break; sleep 0.1; done
untrusted_not_restarted() {
  probe update >"$work/untrusted.txt"
  local status=0
  wait "$untrusted" || status=$?
  cat "$work/untrusted.txt" "$open_folder/started.txt"
  echo "exit code $status"
  [ "$status" -eq 0 ] && [ "$(said "process ended" "$work/untrusted.txt")" = "1 " ] &&
    [ "$(said "process started again" "$work/untrusted.txt")" = "0 (error 5)" ] &&
    [ "$(wc -l <"$open_folder/started.txt")" -eq 1 ]
}
check "zkaservice.exe from a folder open to all users: ended (0), not started again (5)" \
  untrusted_not_restarted

# The companion process, started from its folder with its exit code kept. It also keeps the
# prefix's wineserver, and with it the services, alive between the probe's runs.
(cd "$zka" && exec "$wine" ./zkaservice.exe 2>"$work/companion-errors.txt") &
companion=$!
background+=("$companion")
for _ in $(seq 100); do [ -s "$zka/started.txt" ] && break; sleep 0.1; done

setup_services() {
  probe setup SCardSvr - "$(service_line SCardSvr)" CardDepA SCardSvr "$(service_line CardDepA)" \
    CardDepB SCardSvr "$(service_line CardDepB)"
  cat "$log"
  [ "$(log_from 1)" = "start SCardSvr start CardDepA start CardDepB " ]
}
check "SCardSvr and two dependent services registered and running" setup_services

# A reader's update run: the stop before the update tool, then the closing work's restarts.
probe update SCardSvr CardDepA CardDepB >"$work/update.txt" || true # checked below
stop_and_restart() {
  cat "$work/update.txt"
  local order
  order=$(said "dependents stopped" "$work/update.txt")
  [ "$(said stop "$work/update.txt")" = "0 (error 0)" ] &&
    [ "$(printf '%s\n' $order | sort | tr '\n' ' ')" = "CardDepA CardDepB " ] &&
    [ "$(grep -c ': stopped$' "$work/update.txt")" -eq 3 ] &&
    [ "$(said "service started again" "$work/update.txt")" = 1 ] &&
    [ "$(grep -c ': running$' "$work/update.txt")" -eq 3 ] &&
    [ "$(grep -c '^stop record: none$' "$work/update.txt")" -eq 1 ] &&
    [ "$(grep -c '^stop record: kept$' "$work/update.txt")" -eq 1 ]
}
check "the stop stops SCardSvr with its dependents, the restart starts them, the record goes" \
  stop_and_restart
service_order() {
  local order
  order=$(said "dependents stopped" "$work/update.txt")
  cat "$log"
  # shellcheck disable=SC2046,SC2086 # the service names are words
  [ "$(log_from 4)" = "$(printf 'stop %s ' $order)stop SCardSvr start SCardSvr \
$(printf 'start %s ' $(reversed "$order"))" ]
}
check "dependents stopped in the manager's order, then SCardSvr; started again in reverse" \
  service_order
companion_restarted() {
  local status=0 first second
  wait "$companion" || status=$?
  cat "$zka/started.txt"
  first=$(sed -n '1s/^started //p' "$zka/started.txt")
  second=$(sed -n '2s/^started //p' "$zka/started.txt")
  echo "exit code $status"
  [ "$status" -eq 0 ] && [ -n "$second" ] && [ "$second" != "$first" ] &&
    [ "$(said "process ended" "$work/update.txt")" = \
      "1 $(windows_path "$zka/zkaservice.exe")" ] &&
    [ "$(said "process started again" "$work/update.txt")" = "1 (error 0)" ]
}
check "zkaservice.exe ended with exit code 0 and started again from its folder" \
  companion_restarted

# A dependent that does not accept the stop control, with a running service that depends on
# it: that one is stopped first, then the refusal (1052) fails the stop (9). The service does
# not count as stopped, so the closing work starts no service again (the restart question
# covers them); the companion process is started again all the same.
refused_stop() {
  probe setup CardDepC SCardSvr "$(service_line CardDepC refuse)" \
    CardDepD CardDepC "$(service_line CardDepD)"
  local lines
  lines=$(wc -l <"$log")
  probe update SCardSvr CardDepC CardDepD >"$work/refused.txt"
  cat "$work/refused.txt" "$log"
  local order
  order=$(said "dependents stopped" "$work/refused.txt")
  [ "$(said stop "$work/refused.txt")" = "9 (error 1052)" ] &&
    [ "${order##* }" = CardDepD ] &&
    [ "$(said "service stopped" "$work/refused.txt")" = 0 ] &&
    ! grep -q '^service started again' "$work/refused.txt" &&
    [ "$(said SCardSvr "$work/refused.txt" | tr '\n' ' ')" = "running running " ] &&
    [ "$(said CardDepC "$work/refused.txt" | tr '\n' ' ')" = "running running " ] &&
    [ "$(said CardDepD "$work/refused.txt" | tr '\n' ' ')" = "stopped stopped " ] &&
    [ "$(log_from $((lines + 1)))" = "$(printf 'stop %s ' $order)" ] &&
    [ "$(said "process started again" "$work/refused.txt")" = "1 (error 1052)" ] &&
    [ "$(wc -l <"$zka/started.txt")" -eq 3 ]
}
check "a dependent that refuses to stop: 9 (1052), nothing started again but the process" \
  refused_stop

# The closing work's restart and power-off requests: the shutdown privilege taken and
# ExitWindowsEx accepted. Under Wine they end the prefix's session, never the host machine;
# they come last.
power_requests() {
  probe power restart >"$work/power.txt" && probe power off >>"$work/power.txt"
  cat "$work/power.txt"
  [ "$(said "power request taken" "$work/power.txt" | tr '\n' ' ')" = "1 (error 0) 1 (error 0) " ]
}
check "restart and power-off requests taken (SeShutdownPrivilege, ExitWindowsEx)" power_requests

exit $failed
