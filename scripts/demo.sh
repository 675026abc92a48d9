#!/usr/bin/env bash
# Builds the tool, writes the demo product database and starts the program on it.
# Without a display (no DISPLAY, as in CI) the program runs under xvfb-run: a screenshot
# of its window is saved as build/demo/screenshot.png and the program is closed again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cd "$PM_BUILD/demo" # the program finds Product.mdb in its working directory

if [ -n "${DISPLAY:-}" ]; then
    exec "$PM_BUILD/product-maintainer"
fi

screenshot="$PM_BUILD/demo/screenshot.png"
rm -f "$screenshot"
# A window manager makes "maximised" mean what it means on a desktop.
timeout 120 xvfb-run -a -s "-screen 0 1600x900x24" bash -c '
    openbox >/dev/null 2>&1 & wm=$!
    sleep 0.5
    "$1" & pid=$!
    for _ in $(seq 1 50); do   # wait for the window to be mapped
        sleep 0.2
        if xwininfo -root -tree 2>/dev/null | grep -q "\"Product Maintainer"; then break; fi
    done
    sleep 1.5
    import -window root "$2"
    kill "$pid" "$wm" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
' _ "$PM_BUILD/product-maintainer" "$screenshot"
if [ ! -s "$screenshot" ]; then
    echo "demo: no screenshot was taken" >&2
    exit 1
fi
echo "demo: screenshot of the window saved as $screenshot"
