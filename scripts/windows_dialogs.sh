#!/usr/bin/env bash
# Morlin's dialogs as Windows dialogs under Wine on a virtual display (Xvfb, one Wine virtual
# desktop): Morlin.exe shows each dialog, tests/windows/dialog_poke.cpp finds it by its
# template ID and presses its buttons, and a PNG of each (English and German) goes to
# build/screenshots/windows/; Valdrun.exe's two windows the same way. Needs the windows preset, and HalvaneSim and the sample image of
# the default preset (windows_test.sh builds them). Prints one PASS/FAIL line per check.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
shots=$PWD/build/screenshots/windows
source scripts/wine_prefix.sh
mkdir -p "$shots" "$work/run" "$work/devices" "$work/locale"
unset MORLIN_UI MORLIN_UI_ACTIONS MORLIN_UI_ANSWERS MORLIN_UI_FILES
export WINEDEBUG=-all MORLIN_REAL_PORTS=none MORLIN_TIME_SCALE=100 \
  MORLIN_DEVICES=$work/devices MORLIN_LOG_FILE=$work/run/Morlin.log
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
background+=("$!")
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY
"$wine" wineboot --init >/dev/null 2>&1
# Every window on one virtual desktop the size of the screen, drawn by Wine with its frame.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
# What Help opens (ShellExecute of Morlin.html) is copied to help-seen.html instead of shown
# in a browser, which the virtual display has not.
"$wine" reg add 'HKCR\htmlfile\shell\open\command' /ve /f \
  /d "\"C:\\windows\\system32\\cmd.exe\" /c copy \"%1\" Z:${work//\//\\}\\run\\help-seen.html" \
  >/dev/null 2>&1
/usr/lib/wine/wineserver -w
localedef -i de_DE -f UTF-8 "$work/locale/de_DE.UTF-8" 2>/dev/null || true
cp "$win/Morlin.exe" "$win/MORLNRES.DLL" "$win/VUPPorta.dll" "$win/MorlinCfg.exe" \
  "$win/dialog-poke.exe" "$win/Morlin.html" "$PWD/build/samples/HalvaneFirmware.bin" "$work/run/"
mkdir -p "$work/valdrun"
cp "$win/Valdrun.exe" "$win/BRANTEL.DLL" "$win/dialog-poke.exe" "$work/valdrun/"
start_ready sim "$linux/HalvaneSim" --serial WINE0003 --port-name COM3
cd "$work/run"

poke() { timeout 60 "$wine" ./dialog-poke.exe "$@"; }
# The PNG of the dialog with one of the template IDs, once it is there and drawn.
shoot() {
  local name=$1 place
  place=$(poke "${3:-wait}" "$2" 20 | tr -d '\r') || return 1
  sleep 2
  read -r _ x y w h <<<"$place"
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut "$x" "$y" "$w" "$h" | pnmtopng >"$shots/$name.png"
  # A drawn window, not a blank rectangle.
  [ "$(pngtopnm "$shots/$name.png" | ppmhist -noheader | wc -l)" -gt 2 ] || { echo "$name: not drawn"; return 1; }
}
morlin_pid=
language=()
# Starts a program of the current folder (Morlin.exe unless $program says otherwise) with the
# arguments, in the language chosen.
start() {
  # What a failed check left open goes first: one program runs at a time.
  [ -z "$morlin_pid" ] || { kill "$morlin_pid" 2>/dev/null || true; wait "$morlin_pid" 2>/dev/null || true; }
  env "${language[@]}" "$wine" "./${program:-Morlin.exe}" "$@" >>"$work/morlin.txt" 2>&1 &
  morlin_pid=$!
}
# Morlin has ended with the exit code.
ended_with() {
  local status=0
  for _ in $(seq 200); do kill -0 "$morlin_pid" 2>/dev/null || break; sleep 0.1; done
  wait "$morlin_pid" || status=$?
  [ "$status" -eq "$1" ] || { echo "exit code $status, not $1"; cat "$work/morlin.txt"; return 1; }
}

# Help has opened Morlin.html beside the program.
help_opened() {
  for _ in $(seq 100); do [ -s help-seen.html ] && break; sleep 0.1; done
  cmp help-seen.html Morlin.html
}
main_window() { # $1: suffix of the PNGs
  rm -f Morlin.cfg help-seen.html
  start
  # A second start brings the first one's main window to the front and ends.
  shoot "main-window$1" 102,152 && env "${language[@]}" timeout 60 "$wine" ./Morlin.exe 2>&1 |
    grep -q 'its window was brought to the front' && poke menu 102,152 57667 && help_opened &&
    poke menu 102,152 16 && shoot "about-box$1" 100 &&
    poke click 100 1 && poke click 102,152 2 && ended_with 1
}
config_editor() {
  start /CE
  shoot "config-editor$1" 134 && poke click 134 1052 && shoot "option-add$1" 135 &&
    poke click 135 2 && poke click 134 2 && ended_with 0 &&
    ppmhist -noheader <(pngtopnm "$shots/config-editor$1.png") | grep -Eq '^ *176 +226 +255[[:space:]]'
}
# The editor at the table's limits: 30 firmware files in the folder (copies of the sample
# image, which the plug-in accepts), each name 247 bytes (with the folder's path, near the 260
# bytes a name field holds), all of them in the configuration, so all of them ticked; the
# list scrolls, and Close without a change leaves the file as it was.
config_editor_full() {
  local names=() args=() i status=0
  for i in $(seq -w 30); do
    names+=("$i-$(printf 'x%.0s' $(seq 240)).bin")
    cp HalvaneFirmware.bin "${names[-1]}"
    args+=(--download "${names[-1]}")
  done
  timeout 60 "$wine" ./MorlinCfg.exe write Morlin.cfg "${args[@]}" && cp Morlin.cfg full.cfg &&
    start /CE && shoot "config-editor-30$1" 134 && poke click 134 2 && ended_with 0 &&
    cmp Morlin.cfg full.cfg || status=1
  rm -f Morlin.cfg full.cfg "${names[@]}"
  return "$status"
}
device_information() {
  start /DI
  shoot "device-info$1" 129 && poke click 129 1 && ended_with 0
}
# A configured run with its progress dialog: Start downloads the sample image into the
# simulator (the worker reaches the window only through the dialog thread), then Close ends
# with 0 (a run still going would ask first, and end otherwise).
configured_run() {
  local status=0
  timeout 60 "$wine" ./MorlinCfg.exe write Morlin.cfg --option GUI=yes --download HalvaneFirmware.bin &&
    start && shoot "cfg-mode-ready$1" 136 && poke click 136 1088 && sleep 10 &&
    shoot "cfg-mode-done$1" 136 && poke click 136 2 && ended_with 0 || status=1
  rm -f Morlin.cfg
  return "$status"
}
# The main window's own run, clicked through: Browse opens the file dialog, the sample image's
# name goes into its name field (1148 on Windows, 1152 on older file dialogs) and Open takes it;
# the device information of the file's device is shown and closed; Start downloads it into the
# simulator. Close during the run asks first (No goes on), and Close
# after it ends with 0.
main_window_run() {
  rm -f Morlin.cfg
  start
  poke wait 102,152 20 >/dev/null && poke click 102,152 1003 && shoot "file-open$1" 102,152 box &&
    { poke type 102,152 1148 HalvaneFirmware.bin || poke type 102,152 1152 HalvaneFirmware.bin; } &&
    poke answer 102,152 1 && sleep 2 && shoot "main-window-file-chosen$1" 102,152 &&
    poke click 102,152 1012 && shoot "device-info-file$1" 129 && poke click 129 1 && sleep 1 &&
    poke click 102,152 1010 && poke click 102,152 2 &&
    shoot "cancel-question$1" 102,152 box && poke answer 102,152 7 && sleep 10 &&
    shoot "main-window-done$1" 102,152 && poke click 102,152 2 && ended_with 0
}
check "main window, second start, About box; Close ends with 1 (English)" main_window ""
check "main window's run: file dialog, Start, the cancel question, Close ends with 0 (English)" \
  main_window_run ""
check "configured run: progress dialog, Start, the download, Close ends with 0 (English)" configured_run ""
check "configuration editor and option dialog in the list look (English)" config_editor ""
check "device information display (English)" device_information ""
check "configuration editor with 30 files of 247-byte names (English)" config_editor_full ""
language=(LOCPATH="$work/locale" LC_ALL=de_DE.UTF-8)
check "main window, second start, About box; Close ends with 1 (German)" main_window -de
check "configuration editor and option dialog in the list look (German)" config_editor -de
check "main window's run: file dialog, Start, the cancel question, Close ends with 0 (German)" \
  main_window_run -de
check "configured run: progress dialog, Start, the download, Close ends with 0 (German)" configured_run -de
check "device information display (German)" device_information -de

# A second terminal whose port name has 253 bytes (a device text holds 260): the device
# information display lists both, its drop-down list opens as wide as the long name (at most
# the screen's width), and Close ends with 0.
long_device_name() {
  local long_sim status=0
  start_ready long-sim "$linux/HalvaneSim" --serial WINE0LONG \
    --port-name "COM$(printf '7%.0s' $(seq 250))" || return 1
  long_sim=$started
  start /DI
  # The opened list reaches beyond the dialog: the picture is the desktop's top left part.
  poke wait 129 20 >/dev/null && poke drop 129 1019 && sleep 2 &&
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut 0 0 800 300 | pnmtopng \
      >"$shots/device-info-long-name$1.png" && poke click 129 1 && ended_with 0 || status=1
  kill "$long_sim" && wait "$long_sim" 2>/dev/null
  return "$status"
}
check "device information display with a 253-byte port name (German)" long_device_name -de

# Valdrun.exe's windows (German with -D). A reader that is not attached: the main window
# keeps looking (Wine's smart-card service has no readers); Cancel ends it with the cancel
# notice, which has no owner, and 5. The simulated terminal with a firmware older than the
# description's (2.3.0, newer than the sample image the runs above loaded): the Upgrade offer;
# Upgrade opens the progress window, whose update tool (dialog-poke.exe waiting 6 s for a
# window that never comes, then ending with 1) makes the update count as cancelled: 12.
valdrun_windows() {
  local status=0
  cd "$work/valdrun"
  printf '[ReaderDetails]\r\nReaderName=Ostrum Kartenleser\r\nVID=04E6\r\nPID=5720\r\nFWVER=5.20\r\nDescriptor=Ostrum Kartenleser\r\n' >Valdrun.ini
  start_valdrun "${@:2}"
  shoot "valdrun-waiting$1" 129 && poke click 129 2 && shoot "valdrun-cancelled$1" 0 box &&
    poke answer 0 1 && ended_with 5 || status=1
  printf '[ReaderDetails]\r\nTerminalName=Halvane\r\nVID=04E6\r\nPID=1A02\r\nFWVER=2.3.0\r\nAPPVER=1.5\r\nDescriptor=Halvane\r\nFWUpdateTool=dialog-poke\r\nCmdLineParameter=wait 999 6\r\n' >Valdrun.ini
  [ "$status" -ne 0 ] || {
    start_valdrun "${@:2}" && poke wait 129 20 >/dev/null &&
      { poke shown 129 1 || { echo "no Upgrade offer"; false; }; } &&
      shoot "valdrun-upgrade-offer$1" 129 && poke click 129 1 && shoot "valdrun-progress$1" 130 &&
      shoot "valdrun-outcome$1" 130,129,0 box && poke answer 130,129,0 1 && ended_with 12
  } || status=1
  cd "$work/run"
  return "$status"
}
start_valdrun() { program=Valdrun.exe start "$@"; }
language=()
check "Valdrun: waiting for the reader, Cancel; the Upgrade offer, the progress window (English)" \
  valdrun_windows ""
language=(LOCPATH="$work/locale" LC_ALL=de_DE.UTF-8)
check "Valdrun: waiting for the reader, Cancel; the Upgrade offer, the progress window (German)" \
  valdrun_windows -de -D
# A 200 % screen: Wine's dots an inch at 192 and its desktop twice as large. The main window is
# drawn in that scale (at least 1.8 times as wide as at 100 %), its texts whole in the PNG.
twice_the_scale() {
  local normal large
  /usr/lib/wine/wineserver -k || true
  /usr/lib/wine/wineserver -w
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1600x1200 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  rm -f Morlin.cfg
  start
  shoot "main-window-200$1" 102,152 && poke click 102,152 2 && ended_with 1 || return 1
  normal=$(pngtopnm "$shots/main-window$1.png" | head -c 20 | sed -n 2p | cut -d' ' -f1)
  large=$(pngtopnm "$shots/main-window-200$1.png" | head -c 20 | sed -n 2p | cut -d' ' -f1)
  [ $((large * 10)) -ge $((normal * 18)) ] || { echo "main window $large pixels wide at 200 %, $normal at 100 %"; return 1; }
}
check "main window on a 200 % screen (German)" twice_the_scale -de
# The editor's lists, picture buttons and option list in the same scale.
editor_twice_the_scale() {
  start /CE
  shoot "config-editor-200$1" 134 && poke click 134 2 && ended_with 0
}
check "configuration editor on a 200 % screen (German)" editor_twice_the_scale -de
# The wait window's contract test, which needs a display: a long German text wrapped whole.
wait_window() {
  timeout 60 "$wine" "$win_tests/platform_contract_tests.exe" --gtest_filter='Win32WaitWindow.*' \
    --gtest_brief=1 | tr -d '\r' | tee "$work/wait.txt" | grep -q '^\[  PASSED  \] 1 test' &&
    ! grep -q SKIPPED "$work/wait.txt" || { cat "$work/wait.txt"; return 1; }
}
check "wait window: a long German text wrapped whole on the 200 % screen" wait_window
exit "$failed"
