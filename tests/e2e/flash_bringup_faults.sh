#!/usr/bin/env bash
# tovar flash against boards whose bring-up goes wrong: nothing is installed, the reason is logged.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 5000 2048 100

start_board --chip-id 0x12345678
flash
expect_rc 1
expect_line "当前芯片Chip ID: 0x12345678"
expect_line "Chip ID match Fail."
expect_no_line "Extram"
[ -z "$(ls "$WORK/store")" ] || fail "files stored after a rejected chip"
stop_board

# A missing applet file: logged, then the console never answers; the job gives up at its time limit.
mv "$WORK/tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin" "$WORK/applet.away"
start_board
flash --job-timeout-s 6
expect_rc 1
expect_line "->Failed to open lowlevelinit file."
expect_no_line "系统安装成功!"
stop_board
mv "$WORK/applet.away" "$WORK/tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin"

# The boot loader reports a failure status.
start_board --boot-status 5
flash --job-timeout-s 6
expect_rc 1
expect_line "->Extram Error."
expect_no_line "系统安装成功!"
stop_board
echo "flash_bringup_faults: ok"
