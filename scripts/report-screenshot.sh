#!/usr/bin/env bash
# Renders an HTML report to a PNG with headless Chromium: a fresh profile each time, no
# network services, no sandbox (it runs as root in CI and containers), a fixed width.
#   scripts/report-screenshot.sh REPORT.html OUT.png [HEIGHT]
set -euo pipefail
html=$(realpath "${1:?usage: report-screenshot.sh REPORT.html OUT.png [HEIGHT]}")
png=$(realpath -m "${2:?usage: report-screenshot.sh REPORT.html OUT.png [HEIGHT]}")
height=${3:-3000}
browser=$(command -v chromium || command -v chromium-browser) || {
    echo "report-screenshot: Chromium is not installed (Debian package 'chromium')" >&2
    exit 2
}
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
"$browser" --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
    --disable-sync --no-first-run --user-data-dir="$profile" --hide-scrollbars --force-device-scale-factor=1 \
    --window-size="1200,$height" --screenshot="$png" "file://$html" >/dev/null 2>&1
[ -s "$png" ] || { echo "report-screenshot: Chromium wrote no picture" >&2; exit 1; }
echo "$png"
