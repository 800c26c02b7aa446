#!/usr/bin/env bash
# Builds the Windows deliverables and runs the demo under Wine in a fresh prefix.
# SENTREL_WINE_ARCH=win32 or win64 chooses the build (as for the tests).
# A step that fails prints one line naming it, the program and its exit
# status; the demo then goes on with the next part and exits 1 at the end.
set -uo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh || { echo "demo: the set-up failed (tools/setup.sh)" >&2; exit 1; }
source tools/wine_session.sh
wine_select_architecture || exit 1
win=$SENTREL_WIN_BUILD
# The 64-bit package carries the 32-bit build's agent and type library.
if [ "$SENTREL_WINE_ARCH" = win64 ] &&
    ! { cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" >/dev/null &&
        cmake --build build/win -j"$(nproc)" --target SentrelAgent sentrel_generated; }; then
    echo "demo: the 32-bit agent for the 64-bit package failed to build" >&2
    exit 1
fi
if ! { cmake -S . -B "$win" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$SENTREL_TOOLCHAIN" >/dev/null &&
       cmake --build "$win" -j"$(nproc)"; }; then
    echo "demo: the Windows build ($SENTREL_WINE_ARCH) failed" >&2
    exit 1
fi
trap wine_session_stop EXIT
wine_session_start

failures=0
# step <what> <program> [arguments]: runs a Windows program of the demo.
step() {
    local what=$1; shift
    "$SENTREL_WINE" "$@" </dev/null
    local status=$?
    if [ "$status" -ne 0 ]; then
        echo "demo: step failed: $what: $* exited with status $status" >&2
        failures=$((failures + 1))
    fi
    return 0
}

echo "== the access decision, through the Windows URL calls ($SENTREL_WINE_ARCH) =="
step "the access decision" "$win"/tools/access_demo.exe
echo
echo "== the controller program, asked through COM from another process =="
step "the controller through COM" "$win"/tools/controller_demo.exe
echo
echo "== the tray menu, the password prompt and the settings dialog, opened for a moment =="
step "the tray menu, password prompt and settings dialog" "$win"/tools/ui_tour.exe
echo
echo "== settings from a web server on 127.0.0.1, and the browser kept configured =="
if settings_server_start; then
    step "the synchronisation and the registry watcher" "$win"/tools/workers_demo.exe
else
    echo "demo: step failed: the settings web server (tools/settings_server.py) did not start" >&2
    failures=$((failures + 1))
fi
echo
echo "== a browsing session in the test browser host, with the agent and the controller =="
rm -f "$WINEPREFIX/drive_c/Sentrel.log"
step "registering the agent" regsvr32 /s "$(winepath_of "$win"/agent/SentrelAgent.dll)"
step "registering the controller" "$win"/controller/SentrelAgentController.exe /RegServer
step "the browsing session" "$win"/tools/browser_host/test_browser_host.exe "$(winepath_of tools/demo/browsing_session.txt)"
echo
echo "== C:\\Sentrel.log, as the agent wrote it (one record per question, no separator) =="
if [ -s "$WINEPREFIX/drive_c/Sentrel.log" ]; then
    cat "$WINEPREFIX/drive_c/Sentrel.log"
    echo
    echo
    echo "== the same log read back by sentrel-check --read-log, one record a line =="
    step "reading the log" "$win"/tools/sentrel-check.exe --read-log 'C:\Sentrel.log'
else
    echo "demo: step failed: the agent wrote no C:\\Sentrel.log" >&2
    failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
    echo "demo: $failures step(s) failed" >&2
    exit 1
fi
echo "demo: every step ran"
