#!/usr/bin/env bash
# tovar flash against the virtual board: a good board, a console that answers late, lost replies.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 150000 1048576 0
# ins.txt is sent too, as the manifest left it.
printf '[INFO]\r\nid=4\r\nname=ins.txt\r\n' >>"$WORK/KX30T/config.cfg"
sed -i 's/count=3/count=4/' "$WORK/KX30T/config.cfg"

start_board
flash --station line2-st5 --json "$WORK/result.json"
expect_rc 0
# The station's name goes with the job: in the record, its JSON and its log file.
grep -q '"station":"line2-st5"' "$WORK/result.json" || fail "the JSON result has no station name"
"$TOVAR" record list --workdir "$WORK" --json | grep -q '"station":"line2-st5"' || fail "the record has no station name"
grep -q "station line2-st5" "$WORK"/logs/*/*.log || fail "the log file has no station name"
expect_line "当前芯片Chip ID: 0x819a05a1Chip ID match."
expect_line "->Extram Ok."
expect_line "->Write ins.txt file successed."
expect_line "kernel.bin:     下载帧:1025;下载字节:1048576  -------下载完成!"
expect_line "rootfs.bin:     下载帧:1;下载字节:0  -------下载完成!"
expect_line "系统安装成功!"
expect_stored boot.bin 1; expect_stored kernel.bin 2; expect_stored rootfs.bin 3
[ "$(stat -c %s "$IMAGES/ins.txt")" -eq 576 ] || fail "ins.txt is not 576 bytes"
expect_stored ins.txt 4
# The board's log file lies below logs/ of the working folder, named by day, time, port and factory number.
ls "$WORK"/logs/[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]/[0-9][0-9][0-9][0-9][0-9][0-9]_COM9_12345678.log >/dev/null 2>&1 ||
  fail "no log file below $WORK/logs"
stop_board

# The console answers only after 50 bursts: the reply line counts at least 50 of them. The station's
# tovar.cfg moves the log files ([log] dir, below the working folder).
start_board --answer-after 50
printf '[log]\ndir=station-logs\n' >"$WORK/tovar.cfg"
flash
rm "$WORK/tovar.cfg"
expect_rc 0
count=$(grep -oE ',  [0-9]+$' "$WORK/out.txt" | tr -dc 0-9)
[ "${count:-0}" -ge 50 ] || fail "reply line counts $count bursts"
ls "$WORK"/station-logs/*/*_COM9_12345678.log >/dev/null 2>&1 || fail "no log file below $WORK/station-logs"
stop_board

# 5% of the replies are lost: frames are sent again and every file still arrives intact; the log
# file (moved by --log-dir) has a time stamp on every line and the resends the terminal does not show.
start_board --loss 5 --seed 11
flash --reply-timeout-ms 50 --store-timeout-ms 300 --log-dir "$WORK/board-logs"
expect_rc 0
expect_line "系统安装成功!"
expect_stored boot.bin 1; expect_stored kernel.bin 2; expect_stored rootfs.bin 3
expect_no_line "sent again"
log=$(ls "$WORK"/board-logs/*/*_COM9_12345678.log 2>/dev/null | head -n 1)
[ -n "$log" ] || fail "no log file below $WORK/board-logs"
stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2} \['
unstamped=$(grep -cvE "$stamp" "$log" || true)
[ "$unstamped" -eq 0 ] || fail "$unstamped line(s) of $log without a time stamp"
grep -qE "$stamp"'detail\] ->No reply within 50 ms; sent again' "$log" || fail "no resend line in $log"
grep -qF '[log] 系统安装成功!' "$log" || fail "the operator's lines are missing from $log"
grep -qF '[result] installed (transfer)' "$log" || fail "the result is missing from $log"
stop_board
echo "flash_good_board: ok"
