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
