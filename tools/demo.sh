#!/usr/bin/env bash
# Builds the Windows deliverables and runs the demo under Wine in a fresh prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./tools/setup.sh
source tools/wine_session.sh
wine_select_architecture
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$SENTREL_TOOLCHAIN" >/dev/null
cmake --build build/win -j"$(nproc)"
trap wine_session_stop EXIT
wine_session_start
echo "== the access decision, through the Windows URL calls =="
"$SENTREL_WINE" build/win/tools/access_demo.exe
echo
echo "== the controller program, asked through COM from another process =="
"$SENTREL_WINE" build/win/tools/controller_demo.exe
echo
echo "== the tray menu, the password prompt and the settings dialog, opened for a moment =="
"$SENTREL_WINE" build/win/tools/ui_tour.exe </dev/null
"$SENTREL_WINE" net stop rpcss >/dev/null 2>&1 </dev/null
echo
echo "== settings from a web server on 127.0.0.1, and the browser kept configured =="
settings_server_start
"$SENTREL_WINE" build/win/tools/workers_demo.exe </dev/null
"$SENTREL_WINE" net stop rpcss >/dev/null 2>&1 </dev/null
echo
echo "== a browsing session in the test browser host, with the agent and the controller =="
rm -f "$WINEPREFIX/drive_c/Sentrel.log"
"$SENTREL_WINE" regsvr32 /s "$(winepath_of build/win/agent/SentrelAgent.dll)" </dev/null
"$SENTREL_WINE" build/win/controller/SentrelAgentController.exe /RegServer </dev/null
# The controller demo ended its controller; COM is told to forget it.
"$SENTREL_WINE" net stop rpcss >/dev/null 2>&1 </dev/null
"$SENTREL_WINE" build/win/tools/browser_host/test_browser_host.exe "$(winepath_of tools/demo/browsing_session.txt)" </dev/null
echo
echo "== C:\\Sentrel.log, as the agent wrote it (one record per question, no separator) =="
cat "$WINEPREFIX/drive_c/Sentrel.log"
echo
