#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the window with a short French text under a virtual X server and saves it as
# docs/screenshot.png, the picture the README and the AppStream metadata show, then zooms the
# boxes two steps (to 125 %, the most before the one-line key box starts to clip) and saves docs/screenshot-zoomed.png.
#   tools/screenshot.sh [PROGRAM]   (default: build-dev/app/codetarvo)
# Needs the Debian packages xvfb, xauth, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build-dev/app/codetarvo}

if [ -z "${CODETARVO_IN_XVFB:-}" ]; then
    for tool in xvfb-run xdotool import; do
        command -v "$tool" >/dev/null || {
            echo "screenshot.sh: '$tool' is missing; apt-get install xvfb xauth xdotool imagemagick" >&2
            exit 1
        }
    done
    [ -x "$program" ] || { echo "screenshot.sh: no program '$program'; build it first" >&2; exit 1; }
    # A fixed 96 dots per inch keeps the window at its designed 622 x 283 pixels.
    CODETARVO_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 800x400x24 -dpi 96" "$0" "$program"
fi

export QT_QPA_PLATFORM=xcb QT_FONT_DPI=96 QT_SCALE_FACTOR=1
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
window=$(xdotool search --sync --onlyvisible --name '^Code Tarvo')
xdotool windowmove "$window" 0 0
xdotool windowfocus --sync "$window"
# The focus starts in the plain box: replace "Saisie" by an example, then type the key
# again (Tab moves to the key box) so that all three counts show.
xdotool key --window "$window" ctrl+a
xdotool type --window "$window" --delay 20 'Rendez-vous à midi, près de la fenêtre : « ça coûte 5 € ».'
xdotool key --window "$window" Tab ctrl+a
xdotool type --window "$window" --delay 20 'Tesk'
sleep 0.5
mkdir -p docs
shoot() {
    import -window "$window" "$1"
    echo "screenshot.sh: wrote $1 ($(identify -format '%wx%h' "$1"))"
}
shoot docs/screenshot.png
xdotool key --window "$window" ctrl+plus ctrl+plus
sleep 0.5
shoot docs/screenshot-zoomed.png
