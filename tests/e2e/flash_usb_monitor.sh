#!/usr/bin/env bash
# tovar flash with the boot monitor on its USB port (monitor-port) and the console on the serial line.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 150000 300000 0

# start_usb_board [OPTIONS...]: the virtual board with its monitor on a USB port linked at $WORK/acm0;
# its event lines go to $WORK/board.txt.
start_usb_board() {
  rm -f "$WORK/store"/*
  coproc BOARD_PROC { exec "$BOARD" --udp-port 0 --store-dir "$WORK/store" --idle-exit-s 120 --usb-monitor \
    --usb-link "$WORK/acm0" "$@" 2>"$WORK/board.txt"; }
  BOARD_PID=$BOARD_PROC_PID
  local line
  read -r -t 10 line <&"${BOARD_PROC[0]}" || fail "the virtual board did not start"
  grep -qE 'usb-tty=/dev/pts/[0-9]+ ' <<<"$line" || fail "no usb-tty= in the status line: $line"
  BOARD_TTY=$(sed -E 's/.*tty=([^ ]+) usb-tty.*/\1/' <<<"$line")
  BOARD_UDP=$(sed -E 's/.*udp=127\.0\.0\.1:([0-9]+).*/\1/' <<<"$line")
  printf '[ports]\nCOM9=%s\n' "$BOARD_TTY" >"$WORK/ports.cfg"
}
expect_board() { grep -qF -- "$1" "$WORK/board.txt" || fail "the board logged no: $1 ($(cat "$WORK/board.txt"))"; }

# A whole job: the monitor's blocks arrive raw and whole on the USB port (3000 and 9000 bytes, no
# XMODEM padding), the port goes when the boot loader runs, the console answers on COM9.
start_usb_board
flash --monitor-port "$WORK/acm0"
expect_rc 0
expect_line "当前芯片Chip ID: 0x819a05a1Chip ID match."
expect_line "->Extram Ok."
expect_line "系统安装成功!"
expect_stored boot.bin 1; expect_stored kernel.bin 2; expect_stored rootfs.bin 3
expect_board "raw block received at 0x00300000, 3000 bytes"
expect_board "raw block received at 0x00300000, 9000 bytes"
expect_board "boot monitor's USB port closed (the boot loader runs)"
# Before the console is up the serial line hears only the console's bursts of Y, which the board drops.
! grep -E "^tovar-board: block received|dropped" "$WORK/board.txt" | grep -vE "dropped on the serial line .*: YYYYYYYY$" ||
  fail "XMODEM or serial traffic for the monitor: $(cat "$WORK/board.txt")"
[ ! -e "$WORK/acm0" ] || fail "the USB port's link is still there after the boot loader ran"
[ -n "${TOVAR_E2E_SHOW:-}" ] && cat "$WORK/out.txt" "$WORK/board.txt"
stop_board

# A boot loader that takes the chip over at once: the port goes while its mailbox is read, which is
# no failure; the console answers on COM9 as before.
start_usb_board --boot-delay-ms 0
flash --monitor-port "$WORK/acm0"
expect_rc 0
expect_line "->引导监控的 USB 口已关闭, 引导程序已运行 / The boot monitor's USB port went away: the boot loader runs."
expect_line "系统安装成功!"
expect_stored kernel.bin 2
stop_board

# The same through a slot's monitor-port= in tovar.cfg, and a USB position that never appears:
# the job fails within --monitor-wait-s with the reason, and no console wait follows.
start_usb_board
printf '[slot1]\nport=COM9\nmonitor-port=usb:9-9.9\n' >"$WORK/tovar.cfg"
start=$(date +%s)
RC=0
timeout 60 "$TOVAR" gang --slots 1 --mac '^587675010202^587675010203' --factory 12345678 --reg 5A3C0001 --workdir "$WORK" \
  --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 --settle-ms 100 \
  --monitor-wait-s 2 >"$WORK/out.txt" 2>&1 || RC=$?
spent=$(( $(date +%s) - start ))
expect_rc 1
expect_line "usb:9-9.9: the boot monitor's USB port did not appear within 2 s"
[ "$spent" -le 8 ] || fail "the job took $spent s to fail on a port that never appears"
rm "$WORK/tovar.cfg"

# Stop while the job waits for the port: SIGINT ends it at once as stopped.
RC=0
timeout 60 "$TOVAR" flash --port COM9 --mac '^587675010202^587675010203' --factory 12345678 --reg 5A3C0001 \
  --workdir "$WORK" --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
  --monitor-port "$WORK/never" --monitor-wait-s 60 >"$WORK/out.txt" 2>&1 &
pid=$!
sleep 1
start=$(date +%s)
kill -INT "$pid"
wait "$pid" || RC=$?
spent=$(( $(date +%s) - start ))
expect_rc 3
[ "$spent" -le 3 ] || fail "the stop took $spent s"
expect_line "->等待引导监控的 USB 口 / Waiting for the boot monitor's USB port $WORK/never (at most 60 s)."
stop_board
echo "flash_usb_monitor: ok"
