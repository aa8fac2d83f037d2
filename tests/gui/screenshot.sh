#!/usr/bin/env bash
# Starts the operator's window under Xvfb on the demo's virtual board and saves PNGs of it: after a
# whole job that installs (OUTPUT.png), in the middle of a slowed-down transfer (OUTPUT-running.png)
# and after a job whose stores fail (OUTPUT-failed.png); then the gang window with four boards in
# the middle of their transfers (OUTPUT-gang-running.png) and after them (OUTPUT-gang.png), and with
# 24 boards on a 1920x1080 screen (OUTPUT-gang24-running.png); then, from the window tests, the
# banners and states an operator has to tell apart: a refusal, a failure with its next step, a partial
# install, the console countdown, the boot monitor's port selector, a gang tile refused for its port,
# a tile stopped by its alarm and 退出's question (OUTPUT-refused.png ... OUTPUT-gang-exit-question.png);
# the window and the gang window in English (OUTPUT-en.png, OUTPUT-gang-en.png).
# Fails when the window did not appear, the awaited text never came or a picture was not written.
# Usage: tests/gui/screenshot.sh [BUILD_DIR] [OUTPUT.png]   (defaults: build, BUILD_DIR/tovar-window.png)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=$(realpath "${1:-build}")
OUT=$(realpath -m "${2:-$BUILD_DIR/tovar-window.png}")
TOVAR="$BUILD_DIR/tovar"

[ -x "$TOVAR" ] || { echo "screenshot: $TOVAR not built" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshot: xvfb-run missing (./scripts/deps)" >&2; exit 1; }
fc-list :lang=zh | grep -q . || { echo "screenshot: no CJK font (./scripts/deps installs fonts-noto-cjk)" >&2; exit 1; }

# The windows' language follows the locale: the pictures are Chinese unless --lang en is given.
unset LC_ALL LC_MESSAGES
export LANG=C.UTF-8
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# In a sanitizer build: ignore what the X11 platform's system libraries keep until exit.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$PWD/tests/gui/lsan.supp"

# shoot FILE TEXT EXPECTED_STATUS [DEMO OPTIONS...]: one demo job in the window, pictured a moment
# after the log shows TEXT. The demo's status is 0 only when every image was stored.
shoot() {
  local file=$1 when=$2 expected=$3
  shift 3
  rm -f "$file"
  local status=0
  # AFTER_MS: how long the awaited text may take (a big gang on a busy machine takes longer).
  local after_ms=${AFTER_MS:-30000}
  XDG_RUNTIME_DIR="$WORK" timeout $((after_ms / 1000 + 90)) xvfb-run -a -s "-screen 0 ${SCREEN:-1280x1024}x24" \
    "$TOVAR" demo --gui --start-job "$@" \
    --screenshot "$file" --screenshot-when "$when" --screenshot-after-ms "$after_ms" >"$WORK/out.txt" 2>&1 || status=$?
  if grep -q '^tovar: ' "$WORK/out.txt" || [ "$status" -ne "$expected" ]; then
    echo "screenshot: tovar demo for $file ended with status $status (expected $expected)" >&2
    sed 's/^/  | /' "$WORK/out.txt" >&2
    exit 1
  fi
  if [ ! -s "$file" ] || [ "$(head -c 8 "$file" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
    echo "screenshot: no PNG written to $file" >&2
    exit 1
  fi
  echo "screenshot: $file"
}

shoot "$OUT" "系统安装成功" 0
# Every reply 1 ms late: the transfer takes a few seconds, pictured while rootfs.bin is sent.
shoot "${OUT%.png}-running.png" "rootfs.bin:     正在下载" 1 --board-arg=--late-ms --board-arg=1
shoot "${OUT%.png}-failed.png" "系统安装失败" 1 --board-arg=--store-fail
# A boot loader whose console never answers: the stage counts down to the console's bound.
shoot "${OUT%.png}-console.png" "->Extram Ok." 1 --board-arg=--silent-console
# The gang window with four virtual boards: every tile sending rootfs.bin, then every board installed.
shoot "${OUT%.png}-gang-running.png" "rootfs.bin:     正在下载" 1 --gang --board-arg=--late-ms --board-arg=1
shoot "${OUT%.png}-gang.png" "系统安装成功" 0 --gang
# The windows' own texts in English (the original dialog's captions and log stay Chinese).
shoot "${OUT%.png}-en.png" "系统安装成功" 0 --lang en
shoot "${OUT%.png}-gang-en.png" "系统安装成功" 0 --gang --lang en
# 24 slots on a 1920x1080 screen, mid-transfer: six columns of tiles, every one whole.
# Twenty-four boards on two cores may miss their bring-up's time limits when the machine is busy:
# that picture is then reported, not fatal (the layout is what it shows).
( SCREEN=1920x1080 AFTER_MS=120000 shoot "${OUT%.png}-gang24-running.png" "rootfs.bin:     正在下载" 1 --gang \
  --gang-slots 24 --board-arg=--late-ms --board-arg=1 ) ||
  echo "screenshot: WARNING: the 24-slot picture was not taken as asked (see above)" >&2

# The window tests picture the looks they check.
GUI_TESTS="$BUILD_DIR/tests/gui/tovar_gui_tests"
[ -x "$GUI_TESTS" ] || { echo "screenshot: $GUI_TESTS not built" >&2; exit 1; }
mkdir -p "$WORK/shots"
TOVAR_SHOT_DIR="$WORK/shots" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$WORK" timeout 300 \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$GUI_TESTS" >"$WORK/gui.txt" 2>&1 || {
  echo "screenshot: the window tests failed" >&2
  grep -E 'FAIL|Loc:' "$WORK/gui.txt" | sed 's/^/  | /' >&2
  exit 1
}
for name in refused failed-next-step partial console-countdown monitor-port gang-refused gang-alarm gang-exit-question; do
  [ -s "$WORK/shots/$name.png" ] || { echo "screenshot: the window tests wrote no $name.png" >&2; exit 1; }
  cp "$WORK/shots/$name.png" "${OUT%.png}-$name.png"
  echo "screenshot: ${OUT%.png}-$name.png"
done
