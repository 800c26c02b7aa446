#!/usr/bin/env bash
# Pictures of the controller's windows under Wine into docs/: the tray menu,
# the password prompt and the settings dialog filled with example settings.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh
source tools/wine_session.sh
wine_select_architecture
cmake -S . -B "$SENTREL_WIN_BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$SENTREL_TOOLCHAIN" >/dev/null
cmake --build "$SENTREL_WIN_BUILD" -j"$(nproc)" --target ui_pictures
pictures=$(mktemp -d /tmp/sentrel-pictures.XXXXXX)
trap 'wine_session_stop; rm -rf "$pictures"' EXIT
wine_session_start
"$SENTREL_WINE" "$SENTREL_WIN_BUILD"/tools/ui_pictures.exe "$(winepath_of "$pictures")" </dev/null
mkdir -p docs
for name in tray-menu password-prompt settings-dialog; do
    python3 tools/bmp_to_png.py "$pictures/$name.bmp" "docs/$name.png"
    echo "docs/$name.png"
done
