#!/usr/bin/env bash
# Valdrun.exe under Wine against the Linux simulators, in a fresh prefix: the reader route
# through the test winscard.dll (build-windows/tests, served by ReaderSim), and the window run
# up to the update tool (build-windows/tests/update-tool-probe.exe as FWUpdate.exe) for a
# reader and for a terminal (HalvaneSim, announced in MORLIN_DEVICES). Needs the windows
# preset's Valdrun, BRANTEL, winscard_sim and update-tool-probe, and the default preset's
# ReaderSim and HalvaneSim. Prints one PASS/FAIL line per check; exit code 1 when one failed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/wine_prefix.sh
# winscard=n: the winscard.dll beside Valdrun.exe instead of Wine's own.
export WINEDEBUG=fixme-all MORLIN_UI=console MORLIN_REAL_PORTS=none \
  WINEDLLOVERRIDES=winscard=n MORLIN_DEVICES=$work/devices
mkdir -p "$MORLIN_DEVICES"

control_of() { sed -n 's/^READY control=\([^ ]*\).*/\1/p' "$work/$1.txt"; }
start_ready old-reader "$linux/ReaderSim" --firmware 5.09
start_ready current-reader "$linux/ReaderSim" --firmware 5.10
start_ready halvane "$linux/HalvaneSim" --serial WINEV001 --port-name COM6
old_reader="Ostrum Kartenleser 0=$(control_of old-reader)"
current_reader="Ostrum Kartenleser 0=$(control_of current-reader)"
other_reader="Pellax Leser 0=$(control_of current-reader)"
timeout 180 "$wine" wineboot --init >/dev/null 2>&1

folder=$work/valdrun
mkdir -p "$folder"
cp "$win/Valdrun.exe" "$win/BRANTEL.DLL" "$win_tests/winscard.dll" "$folder/"
cp "$win_tests/update-tool-probe.exe" "$folder/FWUpdate.exe"
touch "$folder/HALVANE_APP_FW.sig" "$folder/HALVANE_OS_FW.sig"
windows_folder="Z:${folder//\//\\}"
parameters='-s "C:\Program Files\fw.bin" -q'
describe() { # the lines of [ReaderDetails], written with CR LF
  { printf '[ReaderDetails]\r\n'; printf '%s\r\n' "$@"; } >"$folder/Valdrun.ini"
}

# The WinSCard calls Valdrun.exe imports are exactly those the test library serves.
winscard_imports() {
  local imported exported
  imported=$(x86_64-w64-mingw32-objdump -p "$win/Valdrun.exe" |
    sed -n '/DLL Name: WinSCard.dll/I,/^$/p' | awk 'NF == 3 && $1 != "DLL" { print $3 }' |
    sort | tr '\n' ' ')
  exported=$(x86_64-w64-mingw32-objdump -p "$win_tests/winscard.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort |
    tr '\n' ' ')
  echo "imported: $imported"
  echo "exported: $exported"
  [ -n "$imported" ] && [ "$imported" = "$exported" ]
}
check "Valdrun.exe imports exactly the WinSCard calls the test winscard.dll serves" \
  winscard_imports
# Its manifest asks for an administrator's rights (Wine, whose user is one, starts it as it is).
check "Valdrun.exe's manifest asks for an administrator's rights" \
  grep -aq 'requestedExecutionLevel level="requireAdministrator"' "$win/Valdrun.exe"

valdrun() { # exit code $1 expected, then NAME=VALUE settings of the run, then Valdrun's arguments
  local want=$1 status=0 settings=()
  shift
  while [[ ${1-} == *=* ]]; do settings+=("$1") && shift; done
  rm -f "$folder/Valdrun.log" "$folder/FWUpdate.record"
  (cd "$folder" && env "${settings[@]}" timeout 60 "$wine" ./Valdrun.exe "$@" 2>&1) || status=$?
  [ "$status" -eq "$want" ] || { echo "exit code $status, not $want"; return 1; }
}
# The report block (a new Valdrun.log) has each of the given lines, and CR LF line ends.
report_says() {
  local log=$folder/Valdrun.log line
  sed 's/^/log: /' "$log"
  for line in "$@"; do grep -qxF "$line"$'\r' "$log" || { echo "missing: $line"; return 1; }; done
  [ "$(sed '$d' "$log" | grep -vc $'\r$')" -eq 0 ] # the last line has no line end
}
# The tool ran in Valdrun's folder, its command line the description's CmdLineParameter alone
# (no program name in front of it), whose words are its arguments.
tool_started_so() {
  local record=$folder/FWUpdate.record line words
  sed 's/^/record: /' "$record"
  line=$(sed -n 's/^line=//p' "$record")
  words=$(sed -n 's/^arg[0-9]*=//p' "$record" | tail -n 3)
  grep -qxF "folder=$windows_folder" "$record" &&
    [ "$line" = "$parameters" ] &&
    [ "$words" = $'-s\nC:\\Program Files\\fw.bin\n-q' ]
}

# Check mode: one pass of the reader route through WinSCard; another reader listed first is
# counted and passed over.
describe "ReaderName=Ostrum Kartenleser" VID=04E6 PID=5720 FWVER=5.10 \
  "Descriptor=Kartenleser K5" FWUpdateTool=FWUpdate "CmdLineParameter=$parameters"
check "Valdrun.exe -CHECK, a reader with V5.09 for FWVER 5.10 through winscard.dll: 1" \
  valdrun 1 "MORLIN_TEST_SCARD_READERS=$other_reader;$old_reader" -CHECK
check "Valdrun.exe -CHECK, a reader with V5.10 for FWVER 5.10 through winscard.dll: 3" \
  valdrun 3 "MORLIN_TEST_SCARD_READERS=$current_reader" -CHECK

# The window run of a reader that is due: the update run stops the smart-card service first.
# A fresh Wine prefix has no service SCARDSVR: opening it fails, so the stop fails (9), the
# tool is not started, and the closing work asks for a restart (No, the default).
reader_without_service() {
  valdrun 9 "MORLIN_TEST_SCARD_READERS=$old_reader" MORLIN_UI_ACTIONS="wait;wait" || return 1
  [ ! -e "$folder/FWUpdate.record" ] &&
    report_says "Current firmware version: V5.09" \
      "Stop/start of zkaservice.exe or ScardSvr service is failed" "ReturnCode: 9"
}
check "Valdrun.exe's reader update without the smart-card service: 9, no tool, report" \
  reader_without_service
# With the service registered but not running there is nothing to stop: the tool runs. (Wine's
# service manager sees the new service only once this session's wineserver has ended.)
timeout 60 "$wine" sc create SCardSvr binpath= 'C:\windows\system32\svchost.exe' start= demand \
  >/dev/null
timeout 60 /usr/lib/wine/wineserver -w
reader_update() {
  valdrun 0 "MORLIN_TEST_SCARD_READERS=$old_reader" MORLIN_UI_ACTIONS="wait;wait" \
    MORLIN_UI_ANSWERS=ok FWUPDATE_EXIT=0 || return 1
  tool_started_so && report_says "Ostrum Kartenleser" "Current firmware version: V5.09" \
    "New firmware version: V5.10" "The new firmware is loaded successfully." "ReturnCode: 0"
}
check "Valdrun.exe's reader update through winscard.dll starts the tool in its folder: 0" \
  reader_update

# A terminal whose firmware alone is due (HalvaneSim: application 1.5, firmware 2.1.3).
describe TerminalName=Halvane VID=04E6 PID=1A02 FWVER=2.1.4 APPVER=1.5 Descriptor=Halvane \
  FWUpdateTool=FWUpdate "CmdLineParameter=$parameters"
check "Valdrun.exe: Cancel at the terminal's Upgrade offer: 1" \
  valdrun 1 MORLIN_UI_ACTIONS="wait;click 2" MORLIN_UI_ANSWERS=ok
terminal_update() { # the tool's exit code, Valdrun's, the report's outcome line
  valdrun "$2" MORLIN_UI_ACTIONS="wait;click 1;wait;wait" MORLIN_UI_ANSWERS=ok \
    FWUPDATE_EXIT="$1" || return 1
  # The application's firmware files were set aside while the tool ran, and are back.
  tool_started_so && grep -qx 'sig=_HALVANE_APP_FW.sig' "$folder/FWUpdate.record" &&
    grep -qx 'sig=HALVANE_OS_FW.sig' "$folder/FWUpdate.record" &&
    [ -e "$folder/HALVANE_APP_FW.sig" ] && [ -e "$folder/HALVANE_OS_FW.sig" ] &&
    report_says "Current firmware version: V2.1.3" "$3" "ReturnCode: $2"
}
check "Valdrun.exe's terminal update, the tool ends with 0: 0" \
  terminal_update 0 0 "The new firmware is loaded successfully."
check "Valdrun.exe's terminal update, the tool ends with 1: 12" \
  terminal_update 1 12 "Firmware update cancelled"
check "Valdrun.exe's terminal update, the tool ends with 2: 7" \
  terminal_update 2 7 "Firmware update failed"

exit $failed
