# Sourced by the test and demo scripts: a private Wine session for one run.
#   wine_session_start   fresh 32-bit prefix, Xvfb display, warm wineserver
#   wine_session_stop    stops the wineserver and Xvfb, removes the prefix
# The user's own ~/.wine is never touched.
#
# The product is 32-bit and runs under 32-bit Wine. Some machines cannot
# execute 32-bit programs at all (no 32-bit support in the kernel they run
# on); there the Windows build and its tests are 64-bit, under 64-bit Wine.
# 64-bit Wine runs on either kind of machine.
#   wine_select_architecture   sets SENTREL_WINE_ARCH (win32|win64),
#                              SENTREL_WINE (the loader), SENTREL_TOOLCHAIN
#                              and SENTREL_WIN_BUILD (the build folder)

# A file of the Linux file system as the Windows programs see it (drive Z:).
winepath_of() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }

# Whether this machine executes 32-bit programs.
machine_runs_32bit() { [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# SENTREL_WINE_ARCH=win32|win64 chooses; otherwise win32 where the machine
# runs 32-bit programs and win64 where it does not. The 32-bit build lives in
# build/win, the 64-bit one in build/win64 (SENTREL_WIN_BUILD).
wine_select_architecture() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    if [ -z "${SENTREL_WINE_ARCH:-}" ]; then
        if machine_runs_32bit; then SENTREL_WINE_ARCH=win32; else SENTREL_WINE_ARCH=win64; fi
    fi
    case "$SENTREL_WINE_ARCH" in
        win32)
            machine_runs_32bit || { echo "SENTREL_WINE_ARCH=win32: this machine runs no 32-bit programs" >&2; return 1; }
            [ -x /usr/lib/wine/wine ] || { echo "SENTREL_WINE_ARCH=win32: 32-bit Wine (wine32:i386) is not installed" >&2; return 1; }
            SENTREL_WINE=wine
            SENTREL_TOOLCHAIN="$root/cmake/mingw-i686.cmake"
            SENTREL_WIN_BUILD=build/win ;;
        win64)
            SENTREL_WINE=/usr/lib/wine/wine64
            SENTREL_TOOLCHAIN="$root/cmake/mingw-x86_64.cmake"
            SENTREL_WIN_BUILD=build/win64 ;;
        *) echo "SENTREL_WINE_ARCH must be win32 or win64, not $SENTREL_WINE_ARCH" >&2; return 1 ;;
    esac
    export SENTREL_WINE_ARCH SENTREL_WINE SENTREL_TOOLCHAIN SENTREL_WIN_BUILD
}

wine_session_start() {
    WINE_SESSION_DIR=$(mktemp -d /tmp/sentrel-wine.XXXXXX)
    export WINEPREFIX="$WINE_SESSION_DIR/prefix"
    [ -n "${SENTREL_WINE_ARCH:-}" ] || wine_select_architecture
    export WINEARCH=$SENTREL_WINE_ARCH
    export WINEDEBUG=-all
    # No browser engine or .NET runtime: the prefix is made in seconds.
    export WINEDLLOVERRIDES="mscoree,mshtml="

    local display_number
    for display_number in $(seq 90 130); do
        [ -e "/tmp/.X${display_number}-lock" ] || [ -e "/tmp/.X11-unix/X${display_number}" ] || break
    done
    Xvfb ":${display_number}" -screen 0 1024x768x24 -nolisten tcp >"$WINE_SESSION_DIR/xvfb.log" 2>&1 &
    WINE_SESSION_XVFB=$!
    export DISPLAY=":${display_number}"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${display_number}" ] && break
        sleep 0.1
    done

    # One wineserver for the whole run, started before any test so that no
    # test's output pipe is held open by it.
    # The server runs in the prefix folder, so the folder must exist first.
    mkdir -p "$WINEPREFIX"
    wineserver -p
    # The first program creates and initialises the prefix. (An explicit
    # "wineboot -i" on top of that initialises it twice: two service managers
    # then lock each other out and COM's rpcss never starts.)
    "$SENTREL_WINE" cmd /c exit >"$WINE_SESSION_DIR/wineboot.log" 2>&1 </dev/null
    # With no window manager on the display, hiding a managed window waits
    # two seconds for an answer that never comes; unmanaged windows do not.
    "$SENTREL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
}

# A settings web server on 127.0.0.1 for the run: SENTREL_HTTP_PORT is its
# port, SENTREL_HTTP_ROOT the folder it serves (as Windows sees it, drive Z:).
settings_server_start() {
    local root="$WINE_SESSION_DIR/served" here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    mkdir -p "$root"
    python3 "$here/settings_server.py" --root "$root" --port-file "$WINE_SESSION_DIR/http.port" \
        </dev/null >"$WINE_SESSION_DIR/http.log" 2>&1 &
    WINE_SESSION_HTTP=$!
    for _ in $(seq 100); do
        [ -s "$WINE_SESSION_DIR/http.port" ] && break
        sleep 0.05
    done
    [ -s "$WINE_SESSION_DIR/http.port" ] || { echo "settings server did not start" >&2; return 1; }
    SENTREL_HTTP_PORT=$(cat "$WINE_SESSION_DIR/http.port")
    SENTREL_HTTP_ROOT=$(winepath_of "$root")
    export SENTREL_HTTP_PORT SENTREL_HTTP_ROOT
}

wine_session_stop() {
    [ -n "${WINE_SESSION_HTTP:-}" ] && kill "$WINE_SESSION_HTTP" 2>/dev/null || true
    WINE_SESSION_HTTP=
    wineserver -k 2>/dev/null || true
    [ -n "${WINE_SESSION_XVFB:-}" ] && kill "$WINE_SESSION_XVFB" 2>/dev/null || true
    wait "${WINE_SESSION_XVFB:-}" 2>/dev/null || true
    [ -n "${WINE_SESSION_DIR:-}" ] && rm -rf "$WINE_SESSION_DIR"
    WINE_SESSION_XVFB=
    WINE_SESSION_DIR=
}
