# Helpers for the end-to-end scripts: a station folder, the virtual board, one flash job.
# Usage in a script: source "$(dirname "$0")/lib/station.bash" "$1"
set -euo pipefail
BUILD_DIR=$(realpath "${1:-build}")
TOVAR="$BUILD_DIR/tovar"
BOARD="$BUILD_DIR/tovar-board"
WORK=$(mktemp -d)
BOARD_PID=""
cleanup() {
  [ -n "$BOARD_PID" ] && kill "$BOARD_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
IMAGES="$WORK/KX30T/系统安装"

fail() { echo "FAIL: $*" >&2; [ -f "$WORK/out.txt" ] && sed 's/^/  | /' "$WORK/out.txt" >&2; exit 1; }

# make_station SIZE0 SIZE1 SIZE2: three images (ids 1, 2, 3), the board files and an empty ins.txt.
make_station() {
  mkdir -p "$IMAGES" "$WORK/tcl_lib/at91sam9x25-ek" "$WORK/store"
  head -c 3000 /dev/urandom >"$WORK/tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin"
  head -c 9000 /dev/urandom >"$WORK/tcl_lib/at91sam9x25-ek/VarroBoot.bin"
  printf '[COUNT]\r\ncount=3\r\n[Startup]\r\nid=1\r\nname=boot.bin\r\n[Download]\r\nid=2\r\nname=kernel.bin\r\n[UserProc]\r\nid=3\r\nname=rootfs.bin\r\n' \
    >"$WORK/KX30T/config.cfg"
  head -c "$1" /dev/urandom >"$IMAGES/boot.bin"
  head -c "$2" /dev/urandom >"$IMAGES/kernel.bin"
  head -c "$3" /dev/urandom >"$IMAGES/rootfs.bin"
  : >"$IMAGES/ins.txt"
}

# start_board [OPTIONS...]: the virtual board on a fresh pty and a free UDP port, as COM9.
start_board() {
  rm -f "$WORK/store"/*
  coproc BOARD_PROC { exec "$BOARD" --udp-port 0 --store-dir "$WORK/store" --quiet --idle-exit-s 120 "$@"; }
  BOARD_PID=$BOARD_PROC_PID
  local line
  read -r -t 10 line <&"${BOARD_PROC[0]}" || fail "the virtual board did not start"
  BOARD_TTY=$(sed -E 's/.*tty=([^ ]+).*/\1/' <<<"$line")
  BOARD_UDP=$(sed -E 's/.*udp=127\.0\.0\.1:([0-9]+).*/\1/' <<<"$line")
  printf '[ports]\nCOM9=%s\n' "$BOARD_TTY" >"$WORK/ports.cfg"
}

stop_board() {
  [ -n "$BOARD_PID" ] && kill "$BOARD_PID" 2>/dev/null || true
  wait "$BOARD_PID" 2>/dev/null || true
  BOARD_PID=""
}

# flash [OPTIONS...]: one job on COM9; output in $WORK/out.txt, status in $RC.
flash() {
  RC=0
  timeout 120 "$TOVAR" flash --port COM9 --mac '^587675010202^587675010203' --factory 12345678 --reg 5A3C0001 --workdir "$WORK" \
    --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
    --settle-ms 100 --reply-timeout-ms 100 --job-timeout-s 20 "$@" >"$WORK/out.txt" 2>&1 || RC=$?
}

expect_line() { grep -qF -- "$1" "$WORK/out.txt" || fail "missing line: $1"; }
expect_no_line() { ! grep -qF -- "$1" "$WORK/out.txt" || fail "unexpected line: $1"; }
expect_rc() { [ "$RC" -eq "$1" ] || fail "exit status $RC, expected $1"; }
expect_stored() { cmp -s "$IMAGES/$1" "$WORK/store/$2.bin" || fail "$1 not stored byte for byte as $2.bin"; }
