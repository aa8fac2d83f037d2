#!/usr/bin/env bash
# tovar flash against boards whose transfer goes wrong, and a Stop during the transfer.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 20000 2097152 3000

# The board answers frame 10 of every file with a failure status: the run ends there.
start_board --fail-at-frame 10
flash
expect_rc 1
expect_line "boot.bin:     下载失败!   已下载10帧，已下载10240字节"
expect_line "系统安装失败!"
expect_no_line "系统安装成功!"
expect_no_line "kernel.bin"
stop_board

# Every store fails: all files are sent, each store is reported, and the install is not a success.
start_board --store-fail
flash
expect_rc 1
expect_line "boot.bin:     存储不成功，请重新下载!"
expect_line "rootfs.bin:     存储不成功，请重新下载!"
expect_line "系统安装失败!"
expect_no_line "系统安装成功!"
stop_board

# Stop (Ctrl+C) while the large file is on its way: the transfer ends before its next frame.
start_board --late-ms 2
timeout 120 "$TOVAR" flash --port COM9 --mac '^587675010202^587675010203' --factory 12345678 --reg 5A3C0001 --workdir "$WORK" \
  --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
  --settle-ms 100 --job-timeout-s 60 >"$WORK/out.txt" 2>&1 &
FLASH_PID=$!
for _ in $(seq 400); do grep -q "kernel.bin:     正在下载" "$WORK/out.txt" && break; sleep 0.05; done
kill -INT "$FLASH_PID"
RC=0; wait "$FLASH_PID" || RC=$?
expect_rc 3
expect_line "kernel.bin:     终止下载!"
expect_no_line "系统安装成功!"
expect_no_line "rootfs.bin"
stop_board
# Ctrl+C while the console never answers: the job ends there as stopped.
start_board --silent-console
timeout 120 "$TOVAR" flash --port COM9 --mac '^587675010202^587675010203' --factory 12345678 --reg 5A3C0001 --workdir "$WORK" \
  --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
  --job-timeout-s 60 >"$WORK/out.txt" 2>&1 &
FLASH_PID=$!
for _ in $(seq 400); do grep -q "Extram Ok" "$WORK/out.txt" && break; sleep 0.05; done
START=$SECONDS
kill -INT "$FLASH_PID"
RC=0; wait "$FLASH_PID" || RC=$?
expect_rc 3
[ $((SECONDS - START)) -lt 15 ] || fail "Ctrl+C took $((SECONDS - START)) s"
expect_line "终止下载!"
expect_line "stopped (console)"
stop_board
echo "flash_transfer_faults: ok"
