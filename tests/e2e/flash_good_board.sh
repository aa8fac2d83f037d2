#!/usr/bin/env bash
# tovar flash against the virtual board: a good board, a console that answers late, lost replies.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 150000 1048576 0
# ins.txt is sent too, as the manifest left it.
printf '[INFO]\r\nid=4\r\nname=ins.txt\r\n' >>"$WORK/KX30T/config.cfg"
sed -i 's/count=3/count=4/' "$WORK/KX30T/config.cfg"

start_board
flash
expect_rc 0
expect_line "当前芯片Chip ID: 0x819a05a1Chip ID match."
expect_line "->Extram Ok."
expect_line "->Write ins.txt file successed."
expect_line "kernel.bin:     下载帧:1025;下载字节:1048576  -------下载完成!"
expect_line "rootfs.bin:     下载帧:1;下载字节:0  -------下载完成!"
expect_line "系统安装成功!"
expect_stored boot.bin 1; expect_stored kernel.bin 2; expect_stored rootfs.bin 3
[ "$(stat -c %s "$IMAGES/ins.txt")" -eq 576 ] || fail "ins.txt is not 576 bytes"
expect_stored ins.txt 4
stop_board

# The console answers only after 50 bursts: the reply line counts at least 50 of them.
start_board --answer-after 50
flash
expect_rc 0
count=$(grep -oE ',  [0-9]+$' "$WORK/out.txt" | tr -dc 0-9)
[ "${count:-0}" -ge 50 ] || fail "reply line counts $count bursts"
stop_board

# 5% of the replies are lost: frames are sent again and every file still arrives intact.
start_board --loss 5 --seed 11
flash --reply-timeout-ms 50 --store-timeout-ms 300
expect_rc 0
expect_line "系统安装成功!"
expect_stored boot.bin 1; expect_stored kernel.bin 2; expect_stored rootfs.bin 3
stop_board
echo "flash_good_board: ok"
