#!/usr/bin/env bash
# Smoke checks of the Windows build: the export tables of the libraries (64 and 32 bit), then
# the programs under Wine in a fresh prefix, against the Linux HalvaneSim over RFC 2217 on
# 127.0.0.1. Needs the windows and windows-x86 presets built, and the default preset's
# HalvaneSim, ReaderSim, sample images, Morlin, MorlinCfg, ctapi-send, Valdrun and BRANTEL.so
# (windows_test.sh builds them all). Prints one PASS/FAIL line per check with its time; exit code 1 when one
# failed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
win32=$PWD/build-windows-x86/bin
source scripts/wine_prefix.sh
reader_sims=
# Wine's error messages stay on (standard error): they tell why a program did not start.
export WINEDEBUG=fixme-all MORLIN_UI=console MORLIN_REAL_PORTS=none

# Runs a Windows program under Wine, bounded; a failure says so with its exit code, which a
# pipe behind it would hide.
wine_run() {
  local status=0
  timeout 60 "$wine" "$@" || status=$?
  [ "$status" -eq 0 ] || echo "exit code $status: $*" >&2
  return "$status"
}

# Stops a simulator: it ends on SIGTERM (writing what it received); after 10 s it is killed.
end_sim() {
  kill "$1" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

exports_of() { # the exported names of a DLL, sorted
  "$1"-objdump -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' '
}
expect_exports() {
  local got
  got=$(exports_of "$1" "$2")
  [ "$got" = "$3" ] || { echo "exports: $got"; return 1; }
}
ctapi_exports="CT_close CT_data CT_init Get_VersionString "
vup_exports="VUPCreateDeviceInfoList VUPDestroyDeviceInfoList VUPDownloadFirmware \
VUPFilterDeviceInfoSet VUPGetCapabilities VUPGetDisplayInfo VUPGetErrorMessage VUPInitializeLogger \
VUPIsBinaryValid VUPIsOSSupported VUPIsUploadSupported VUPUploadFirmware "
check "BRANTEL.DLL (x86_64) exports the four CT-API functions" \
  expect_exports x86_64-w64-mingw32 "$win/BRANTEL.DLL" "$ctapi_exports"
check "BRANTEL.DLL (i686) exports them undecorated" \
  expect_exports i686-w64-mingw32 "$win32/BRANTEL.DLL" "$ctapi_exports"
check "VUPPorta.dll exports the eleven VUP functions and VUPGetCapabilities" \
  expect_exports x86_64-w64-mingw32 "$win/VUPPorta.dll" "$vup_exports"

# The 32-bit BRANTEL.DLL cannot run on these machines (no 32-bit x86 code runs here), so its
# ABI is checked statically: each export's first return removes the Part's arguments as
# __stdcall does (CT_init 2, CT_data 7, CT_close 1, Get_VersionString 2 four-byte slots), and
# the imports name only system DLLs that Windows 7 has, none of the functions it lacks.
stdcall_returns() {
  local dll=$win32/BRANTEL.DLL dump base entry name want index rva start first
  dump=$(i686-w64-mingw32-objdump -p "$dll")
  base=$(sed -n 's/^ImageBase\s*//p' <<<"$dump")
  for entry in CT_init:8 CT_data:28 CT_close:4 Get_VersionString:8; do
    name=${entry%%:*} want=${entry##*:}
    index=$(sed -n "s/^\s*\[ *\([0-9]*\)\] $name\$/\1/p" <<<"$dump")
    rva=$(sed -n "s/^\s*\[ *$index\] +base\[ *[0-9]*\] *\([0-9a-f]*\) Export RVA/\1/p" <<<"$dump")
    [ -n "$rva" ] || { echo "$name: no export address"; return 1; }
    start=$((0x$base + 0x$rva))
    first=$(i686-w64-mingw32-objdump -d --start-address=$start --stop-address=$((start + 4096)) \
      "$dll" | grep -m1 -oE '\sret\s*(\$0x[0-9a-f]+)?' | tr -s ' \t' ' ')
    echo "$name:$first"
    [ "$first" = " ret \$0x$(printf %x "$want")" ] || return 1
  done
}
check "BRANTEL.DLL (i686): each export returns with __stdcall's clean-up" stdcall_returns
windows7_imports() {
  local dump dlls bad
  dump=$(i686-w64-mingw32-objdump -p "$win32/BRANTEL.DLL")
  dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ')
  echo "imports from: $dlls"
  [ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL USER32.DLL VERSION.DLL WS2_32.DLL " ] ||
    [ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL USER32.DLL WS2_32.DLL " ] ||
    return 1
  # Functions Windows 7 lacks (Windows 8 and later), and those only 64-bit Windows has.
  bad=$(grep -owE 'GetSystemTimePreciseAsFileTime|CreateFile2|CopyFile2|SetDefaultDllDirectories|AddDllDirectory|RemoveDllDirectory|GetCurrentThreadStackLimits|WaitOnAddress|WakeByAddress(Single|All)|SetThreadDescription|GetThreadDescription|GetOverlappedResultEx|PrefetchVirtualMemory|SetThreadInformation|(Get|Set)ProcessMitigationPolicy|CreateRemoteThreadEx|RtlAddFunctionTable|RtlDeleteFunctionTable|RtlLookupFunctionEntry|RtlVirtualUnwind|RtlInstallFunctionTableCallback|GetTickCount64Ex' <<<"$dump" | sort -u)
  [ -z "$bad" ] || { echo "not on 32-bit Windows 7: $bad"; return 1; }
}
check "BRANTEL.DLL (i686): imports that 32-bit Windows 7 has" windows7_imports

# Wine COM ports that lead to simulators: each a pseudo-terminal that tests/windows/pty_bridge.py
# joins to an RFC 2217 port; every bridge relays until the holder of its standard input is
# stopped.
mkfifo "$work/bridge-stdin"
sleep 600 >"$work/bridge-stdin" &
bridge_hold=$!
background+=("$!")
bridge_start() { # Wine's COM port $1 is to lead to RFC 2217 port $2
  "$root/tests/windows/pty_bridge.py" "$2" <"$work/bridge-stdin" >"$work/bridge-$1.txt" 2>&1 &
}
link_com_port() { # the COM port $1 made, once its bridge has named its terminal
  local said=$work/bridge-$1.txt
  for _ in $(seq 100); do [ -s "$said" ] && break; sleep 0.1; done
  ln -sf "$(head -1 "$said")" "$WINEPREFIX/dosdevices/${1,,}"
}
# Two serial readers for Valdrun's serial route in the contract tests, each a ReaderSim: on
# COM11 firmware 5.02, asking to wait twice before each reply; on COM12 one whose replies carry
# status bit 6. Started while the prefix is made, so that no check waits for them.
serial_reader() { # COM port, then ReaderSim's options
  local name=$1
  shift
  mkdir -p "$work/$name"
  "$linux/ReaderSim" --serial-port --serial "$name" --devices-dir "$work/$name" "$@" \
    >"$work/$name.txt" 2>&1 &
  reader_sims+=" $!"
  background+=("$!")
  for _ in $(seq 100); do grep -q '^READY' "$work/$name.txt" && break; sleep 0.1; done
  bridge_start "$name" "$(sed -n 's/^Port=//p' "$work/$name"/*.device)"
}
serial_reader COM11 --firmware 5.02 --wait-frames 2
serial_reader COM12 --status-bit6

timeout 180 "$wine" wineboot --init >/dev/null 2>&1
link_com_port COM11
link_com_port COM12

# MorlinCfg writes and verifies a configuration file.
cfg=$work/cfg/Morlin.cfg
mkdir -p "$work/cfg"
morlin_cfg() { timeout 60 "$wine" "$win/MorlinCfg.exe" "$@"; }
check "MorlinCfg.exe writes and verifies Morlin.cfg" \
  bash -c "$(declare -f morlin_cfg); wine=$wine win=$win; \
    morlin_cfg write '$cfg' --download 'C:\\image.bin' && morlin_cfg verify '$cfg'"

# The version lines: the programs' --version as on Linux, and the version resources as the
# host reads them (its log header, a plug-in's version line).
version_lines() {
  local program
  for program in Morlin MorlinCfg ctapi-send; do
    [ "$(wine_run "$win/$program.exe" --version | tr -d '\r')" = \
      "$("$linux/$program" --version)" ] || { echo "$program.exe --version differs"; return 1; }
  done
  local got
  got=$(cd "$win" && wine_run ./resource-probe.exe version Morlin.exe VUPPorta.dll \
    MORLNRES.DLL | tr -d '\r')
  echo "$got"
  [ "$got" = "Integrated Firmware Update Utility 1.24 | Morlin 1.24 | Morlin | Copyright (C) Ostrum
Mobile DFU Interface DLL 1.02 | Morlin 1.24 | VUPPorta | Copyright (C) 2026 Morlin
Morlin resource library 1.24 | Morlin 1.24 | MORLNRES | Copyright (C) 2026 Ostrum" ]
}
check "version lines of the programs and version resources of the files" version_lines

# MORLNRES.DLL read by LoadStringA in both languages, as strings.txt has the texts.
string_ids="1 7 8 30"
strings_of() { # the texts of strings.txt in language $1, one line per id
  local id
  for id in $string_ids; do sed -n "s/^$id $1 //p" "$root/resources/strings.txt"; done
}
load_strings() { # $1 language id, $2 language in strings.txt
  local got
  # shellcheck disable=SC2086 # the ids are words
  got=$(wine_run "$win/resource-probe.exe" strings "$win/MORLNRES.DLL" "$1" \
    $string_ids | tr -d '\r')
  echo "$got"
  [ "$got" = "$(strings_of "$2")" ]
}
check "MORLNRES.DLL read by LoadStringA in English" load_strings 0409 en
check "MORLNRES.DLL read by LoadStringA in German" load_strings 0407 de

# Morlin.exe without a plug-in beside it says so on the console.
mkdir -p "$work/alone"
cp "$win/Morlin.exe" "$win/MORLNRES.DLL" "$work/alone/"
no_plugin() {
  (cd "$work/alone" && MORLIN_LOG_FILE="$work/alone/Morlin.log" timeout 60 "$wine" ./Morlin.exe) \
    2>"$work/alone/stderr.txt" || true
  cat "$work/alone/stderr.txt"
  grep -q "^MSGBOX .*$(sed -n 's/^120 en //p' "$root/resources/strings.txt")" \
    "$work/alone/stderr.txt"
}
check "Morlin.exe start-up without a plug-in shows its message (string 120)" no_plugin

# Names outside the old code pages and the German texts: a folder named Прошивка, the German
# locale (made in the temporary folder), the texts as UTF-8 bytes, the console's code page.
mkdir -p "$work/locale"
localedef -i de_DE -f UTF-8 "$work/locale/de_DE.UTF-8" 2>/dev/null || true
firmware_folder=$work/Прошивка
mkdir -p "$firmware_folder"
cp "$win/Morlin.exe" "$win/MORLNRES.DLL" "$firmware_folder/"
in_german() { LOCPATH=$work/locale LC_ALL=de_DE.UTF-8 "$@"; }
german_no_plugin() {
  (cd "$firmware_folder" && MORLIN_LOG_FILE="$firmware_folder/Morlin.log" \
    in_german timeout 60 "$wine" ./Morlin.exe) 2>"$work/german.txt" || true
  cat "$work/german.txt"
  grep -q "^MSGBOX .*$(sed -n 's/^120 de //p' "$root/resources/strings.txt")" "$work/german.txt"
}
check "Morlin.exe in a folder named Прошивка shows string 120 in German (UTF-8 bytes)" \
  german_no_plugin
cyrillic_bound() {
  cp "$win/VUPPorta.dll" "$firmware_folder/"
  (cd "$firmware_folder" && MORLIN_LOG_FILE="$firmware_folder/Morlin.log" \
    MORLIN_UI_ACTIONS=close in_german timeout 60 "$wine" ./Morlin.exe) 2>&1 || true
  sed 's/^/log: /' "$firmware_folder/Morlin.log"
  grep -q 'VUP\*\.DLL in Z:.*Прошивка.*: 1 bound' "$firmware_folder/Morlin.log"
}
check "Morlin.exe in a folder named Прошивка binds VUPPorta.dll and writes its log" \
  cyrillic_bound

# A silent configured run: Morlin.exe with VUPPorta.dll brings the sample image into the
# Linux HalvaneSim; the terminal then holds exactly the image, and the log has its header.
# The simulator stays on the bus until Morlin.exe has ended and writes the image when it is
# stopped, so the check does not depend on how Wine sees a terminal leave (docs/windows.md).
mkdir -p "$work/run" "$work/run-devices"
cp "$win/Morlin.exe" "$win/MORLNRES.DLL" "$win/VUPPorta.dll" "$win/MorlinCfg.exe" \
  "$PWD/build/samples/HalvaneFirmware.bin" "$work/run/"
MORLIN_DEVICES=$work/run-devices "$linux/HalvaneSim" --serial WINE0002 --port-name COM3 \
  --image-out "$work/received.bin" >"$work/run-sim.txt" 2>&1 &
run_sim=$!
background+=("$!")
for _ in $(seq 100); do grep -q '^READY' "$work/run-sim.txt" && break; sleep 0.1; done
silent_run() {
  cd "$work/run"
  export MORLIN_DEVICES=$work/run-devices MORLIN_LOG_FILE=$work/run/Morlin.log
  timeout 60 "$wine" ./MorlinCfg.exe write Morlin.cfg --option GUI=no \
    --option REPORTSTATUS=yes --download HalvaneFirmware.bin
  local status=0
  timeout 240 "$wine" ./Morlin.exe 2>stderr.txt || status=$?
  cat stderr.txt
  end_sim "$run_sim"
  run_sim=
  cat "$work/run-sim.txt"
  sed 's/^/log: /' Morlin.log
  [ "$status" -eq 255 ] &&
    grep -q '^MSGBOX information .*completed successfully' stderr.txt &&
    cmp HalvaneFirmware.bin "$work/received.bin" &&
    grep -q 'Morlin - Integrated Firmware Update Utility Version 1.24' Morlin.log
}
check "Morlin.exe with VUPPorta.dll updates HalvaneSim silently (image, log header)" silent_run
check "Morlin.exe binds VUPPorta.dll (VUP*.DLL, 1 bound)" \
  grep -q '^.\{18\}Morlin :Plug-ins looked for as VUP\*\.DLL in Z:.*: 1 bound' \
  "$work/run/Morlin.log"

# An announcement whose writer has ended is skipped as left over; the running HalvaneSim's
# above was read (its process is one of the host's).
left_over() {
  mkdir -p "$work/left-over"
  printf '[Device]\nClass={4D36E978-E325-11CE-BFC1-08002BE10318}\nInstanceId=USB\\%s\n%s\n%s\n' \
    'VID_04E6&PID_1A02\GONE' 'ProcessId=4194305' 'Port=rfc2217://127.0.0.1:1' \
    >"$work/left-over/halvane-GONE.device"
  local said # ctapi-send finds no terminal then: its exit code is not the point
  said=$(MORLIN_DEVICES=$work/left-over timeout 60 "$wine" "$win/ctapi-send.exe" \
    --library "$win/BRANTEL.DLL" "20 13 00 46 00" 2>&1) || true
  echo "$said"
  grep -q 'halvane-GONE.device: its process 4194305 has ended (left over' <<<"$said"
}
check "an announcement whose process has ended is skipped under Wine" left_over

# ctapi-send.exe with BRANTEL.DLL against the Linux HalvaneSim.
mkdir -p "$work/devices"
export MORLIN_DEVICES=$work/devices
"$linux/HalvaneSim" --serial WINE0001 --port-name COM7 >"$work/sim.txt" 2>&1 &
sim_pid=$!
background+=("$!")
for _ in $(seq 100); do grep -q '^READY' "$work/sim.txt" && break; sleep 0.1; done
# Windows and Linux give the same lines for the same commands (run one after the other).
ctapi_same() { # arguments of ctapi-send
  local on_windows on_linux
  on_windows=$(wine_run "$win/ctapi-send.exe" --library "$win/BRANTEL.DLL" \
    --port 0 "$@" | tr -d '\r')
  on_linux=$(timeout 60 "$linux/ctapi-send" --library "$linux/BRANTEL.so" --port 0 "$@")
  echo "Windows: $on_windows"
  echo "Linux:   $on_linux"
  [ "$on_windows" = "$on_linux" ] && [[ "$on_windows" == "0 2 "* ]]
}
check "ctapi-send.exe with BRANTEL.DLL: GET STATUS of HalvaneSim" ctapi_same "20 13 00 46 00"
# 1024 bytes and the status word: more than one block holds, so the answer comes chained.
read_binary() {
  ctapi_same --dad 0 "00 B0 00 00 00 04 00" >"$work/read.txt" || { cat "$work/read.txt"; return 1; }
  local bytes
  bytes=$(sed -n 's/^Windows: 0 2 0 //p' "$work/read.txt" | wc -w)
  [ "$bytes" -eq 1026 ] || { echo "$bytes bytes"; return 1; }
}
check "ctapi-send.exe with BRANTEL.DLL: chained READ BINARY of 1024 bytes" read_binary
end_sim "$sim_pid"
sim_pid=

# BRANTEL.DLL unloaded with a terminal open returns within the monitor's stop bound (1000 ms),
# and loaded again at another address opens the terminal again (docs/windows.md).
mkdir -p "$work/reload-devices"
MORLIN_DEVICES=$work/reload-devices "$linux/HalvaneSim" --serial WINE0003 --port-name COM8 \
  >"$work/reload-sim.txt" 2>&1 &
sim_pid=$!
background+=("$!")
for _ in $(seq 100); do grep -q '^READY' "$work/reload-sim.txt" && break; sleep 0.1; done
reload() {
  MORLIN_DEVICES=$work/reload-devices wine_run "$win/brantel-reload.exe" "$win/BRANTEL.DLL"
}
check "BRANTEL.DLL unloaded with a terminal open, then loaded again at another address" reload

# A terminal the way a real PC shows it: a USB device of the Ports class that SetupAPI lists
# from the registry (PortName COM5, SymbolicName), and COM5 a Wine COM port on a
# pseudo-terminal that leads to the simulator. No announcement: Brantel finds the terminal
# through SetupAPI, and its presence checks read what the device watcher listed.
timeout 60 "$wine" regedit /S "$root/tests/windows/halvane_usb_port.reg"
bridge_start COM5 "$(sed -n 's/^Port=//p' "$work/reload-devices"/*.device)"
link_com_port COM5
real_port() { # ctapi-send.exe with port number $1
  local said
  said=$(env -u MORLIN_DEVICES -u MORLIN_REAL_PORTS timeout 60 "$wine" "$win/ctapi-send.exe" \
    --library "$win/BRANTEL.DLL" --port "$1" "20 13 00 46 00" 2>"$work/real-port.txt" |
    tr -d '\r') || true
  cat "$work/real-port.txt"
  echo "$said"
  [[ "$said" == "0 2 1 "*"90 00" ]]
}
check "BRANTEL.DLL finds COM5 through SetupAPI and talks over it (port search)" real_port 0
check "BRANTEL.DLL opens COM5 by its number (presence check)" real_port 5

# Valdrun.exe with a terminal description beside it, the terminal being COM5 above (listed by
# SetupAPI) and BRANTEL.DLL beside the program. Check mode runs the reader checks under the
# terminal's name and answers 2 (Wine's WinSCard has no readers); the window run, on the
# console and scripted, reads the versions through BRANTEL.DLL and ends with the up-to-date
# notice (3), its report block in Valdrun.log with CR LF.
mkdir -p "$work/valdrun"
cp "$win/Valdrun.exe" "$win/BRANTEL.DLL" "$work/valdrun/"
printf '[ReaderDetails]\r\nTerminalName=Halvane\r\nVID=04E6\r\nPID=1A02\r\nFWVER=2.1.3\r\nAPPVER=1.5\r\nDescriptor=Halvane\r\nFWUpdateTool=FWUpdate\r\n' \
  >"$work/valdrun/Valdrun.ini"
valdrun() { # exit code $1 expected, then the environment and arguments of the run
  local want=$1 status=0
  shift
  (cd "$work/valdrun" && env -u MORLIN_DEVICES -u MORLIN_REAL_PORTS "$@") || status=$?
  [ "$status" -eq "$want" ] || { echo "exit code $status, not $want"; return 1; }
}
valdrun_version() {
  local said
  said=$(valdrun 0 timeout 60 "$wine" ./Valdrun.exe --version | tr -d '\r') || return 1
  echo "$said"
  [ "$said" = "$(timeout 60 "$linux/Valdrun" --version)" ]
}
check "Valdrun.exe --version says what the Linux Valdrun says" valdrun_version
check "Valdrun.exe -CHECK with the terminal's description: 2" valdrun 2 timeout 60 "$wine" \
  ./Valdrun.exe -CHECK
valdrun_up_to_date() {
  valdrun 3 MORLIN_UI_ACTIONS="wait;wait" MORLIN_UI_ANSWERS=ok timeout 90 "$wine" ./Valdrun.exe ||
    return 1
  local log=$work/valdrun/Valdrun.log
  sed 's/^/log: /' "$log"
  grep -q $'^Current firmware version: V2.1.3\r$' "$log" && grep -q $'^ReturnCode: 0\r$' "$log" &&
    [ "$(sed '$d' "$log" | grep -vc $'\r$')" -eq 0 ] # the last line has no line end
}
check "Valdrun.exe's window run (console view): up to date through BRANTEL.DLL, 3, report block" \
  valdrun_up_to_date
rm "$work/valdrun/Valdrun.ini"
check "Valdrun.exe -CHECK without a description: 6" valdrun 6 timeout 60 "$wine" \
  ./Valdrun.exe -CHECK
# VUPPorta lists the terminal with its port and symbolic name, which its device monitor needs
# to see the terminal leave.
listed_by_setupapi() {
  mkdir -p "$work/listing"
  cp "$win/Morlin.exe" "$win/MORLNRES.DLL" "$win/VUPPorta.dll" "$work/listing/"
  (cd "$work/listing" && MORLIN_LOG_FILE="$work/listing/Morlin.log" MORLIN_UI_ACTIONS=close \
    env -u MORLIN_DEVICES -u MORLIN_REAL_PORTS timeout 60 "$wine" ./Morlin.exe) >/dev/null 2>&1 ||
    true
  sed 's/^/log: /' "$work/listing/Morlin.log"
  grep -q 'Successful portname: COM5' "$work/listing/Morlin.log" &&
    grep -qF 'Successful symlink: \??\USB#VID_04E6&PID_1A02#HV0001#{a5dcbf10-' \
      "$work/listing/Morlin.log"
}
check "VUPPorta.dll lists COM5 with its PortName and SymbolicName from SetupAPI" \
  listed_by_setupapi
# The platform contract tests (tests/windows/): the platform's tests that hold on every
# platform and those of the Windows files, with the values and devices of
# contract_registry.reg in the registry (turned into UTF-16, as regedit writes .reg files),
# COM5 for the serial port's kept cancel (the simulator sends nothing unasked) and the serial
# readers for Valdrun's serial route. The SerialComm values live only while Wine's server
# runs, which outlasts regedit by seconds: the tests start right after the import.
contract_tests() {
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$root/tests/windows/contract_registry.reg"; } \
    >"$work/contract.reg"
  timeout 60 "$wine" regedit /S "$work/contract.reg"
  # Every test runs here, none may be skipped; the wait window's, which needs a display, runs
  # in scripts/windows_dialogs.sh.
  local said status=0
  said=$(unset MORLIN_DEVICES && MORLIN_TEST_COM_PORT=COM5 MORLIN_TEST_LISTED_PORTS="COM3 COM10" \
    MORLIN_TEST_READER_PORT=COM11 MORLIN_TEST_FAULTY_READER_PORT=COM12 timeout 300 "$wine" "$win_tests/platform_contract_tests.exe" --gtest_brief=1 \
    --gtest_filter='-Win32WaitWindow.*' 2>&1) ||
    status=$?
  echo "$said"
  [ "$status" -eq 0 ] && ! grep -q '^\[  SKIPPED \]' <<<"$said"
}
check "the platform contract tests (files, registry, texts, device lists, watcher, COM5, serial route)" \
  contract_tests
kill "$bridge_hold" 2>/dev/null || true
end_sim "$sim_pid"
for reader in $reader_sims; do end_sim "$reader"; done

exit $failed
