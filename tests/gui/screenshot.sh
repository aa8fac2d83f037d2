#!/usr/bin/env bash
# Starts the operator's window under Xvfb on the demo's virtual board, runs one whole job and
# saves a PNG of the window. Fails when the window did not appear or no
# picture was written.
# Usage: tests/gui/screenshot.sh [BUILD_DIR] [OUTPUT.png]   (defaults: build, BUILD_DIR/tovar-window.png)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=$(realpath "${1:-build}")
OUT=$(realpath -m "${2:-$BUILD_DIR/tovar-window.png}")
TOVAR="$BUILD_DIR/tovar"

[ -x "$TOVAR" ] || { echo "screenshot: $TOVAR not built" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshot: xvfb-run missing (./scripts/deps)" >&2; exit 1; }
fc-list :lang=zh | grep -q . || { echo "screenshot: no CJK font (./scripts/deps installs fonts-noto-cjk)" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
rm -f "$OUT"
# In a sanitizer build: ignore what the X11 platform's system libraries keep until exit.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$PWD/tests/gui/lsan.supp"

# The demo: a whole job on the virtual board in the window, pictured once it has ended.
status=0
XDG_RUNTIME_DIR="$WORK" timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$TOVAR" demo --gui --start-job \
  --screenshot "$OUT" --screenshot-when "系统安装成功" --screenshot-after-ms 30000 || status=$?
if [ "$status" -ne 0 ]; then
  echo "screenshot: tovar gui ended with status $status" >&2
  exit 1
fi
if [ ! -s "$OUT" ] || [ "$(head -c 8 "$OUT" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
  echo "screenshot: no PNG written to $OUT" >&2
  exit 1
fi
echo "screenshot: $OUT"
