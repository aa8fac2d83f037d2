#!/usr/bin/env bash
# tovar transfer: only the image transfer, to a board whose boot loader already runs.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 4096 1500 0

transfer() {
  RC=0
  timeout 60 "$TOVAR" transfer --workdir "$WORK" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" \
    --local-port 0 --settle-ms 0 --reply-timeout-ms 200 --store-timeout-ms 500 "$@" >"$WORK/out.txt" 2>&1 || RC=$?
}

start_board --transfer-only
transfer --select 0,1 --station tr-st3 --json "$WORK/result.json"
expect_rc 0
# The station's name goes with the job: in the record, its JSON and its log file.
grep -q '"station":"tr-st3"' "$WORK/result.json" || fail "the JSON result has no station name"
"$TOVAR" record list --workdir "$WORK" --json | grep -q '"station":"tr-st3"' || fail "the record has no station name"
grep -q "station tr-st3" "$WORK"/logs/*/*.log || fail "the log file has no station name"
expect_line "boot.bin:     下载帧:5;下载字节:4096  -------下载完成!"
expect_line "kernel.bin:     存储完成!"
expect_no_line "rootfs.bin"
expect_line "系统安装成功!"
expect_stored boot.bin 1; expect_stored kernel.bin 2
stop_board

start_board --transfer-only --store-fail
transfer
expect_rc 1
expect_line "系统安装失败!"
stop_board

# Nothing answers on that port: every frame goes unacknowledged and the run fails.
BOARD_UDP=9
transfer --tries 2 --reply-timeout-ms 50
expect_rc 1
expect_line "boot.bin:     下载失败!   已下载0帧，已下载0字节"
echo "transfer_command: ok"
