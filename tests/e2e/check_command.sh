#!/usr/bin/env bash
# tovar check: a dry run that names what would stop a job; flash and transfer refuse the same causes.
# Also the progress line on a terminal.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 4096 2000000 0

check() {
  RC=0
  timeout 60 "$TOVAR" check --workdir "$WORK" --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 \
    --board-port "$BOARD_UDP" --local-port 0 "$@" >"$WORK/out.txt" 2>&1 || RC=$?
}

start_board
check --port COM9
expect_rc 0
expect_line "PASS  image 1: kernel.bin: 2000000 bytes"
expect_line "PASS  port COM9: $BOARD_TTY: free"
expect_line "PASS  route: 127.0.0.1:$BOARD_UDP is reached from local address 127.0.0.1"
# The serial set-up is the machine's; a virtual board's pseudo-terminal needs none of it.
expect_line "PASS  serial access: "
expect_line "PASS  udev rule: "
expect_line "PASS  ModemManager: "
expect_no_line "FAIL"

# --bind: the probes bind as the transfer would; a local address is the route's source.
check --bind 127.0.0.2
expect_rc 0
expect_line "PASS  route: 127.0.0.1:$BOARD_UDP is reached from local address 127.0.0.2"
check --bind nosuchif0
expect_rc 2
expect_line "FAIL  udp port 0 on nosuchif0: cannot bind to interface nosuchif0"

# A gang station: each [slotN] with its own port, socket and route.
printf '[slot1]\nport=%s\nboard-port=%s\nbind=127.0.0.3\n[slot2]\nport=%s\nbind=127.0.0.4\n' \
  "$BOARD_TTY" "$BOARD_UDP" "$WORK/no-such-tty" >"$WORK/tovar.cfg"
check
expect_rc 2
expect_line "PASS  slot1 port $BOARD_TTY: $BOARD_TTY: free"
expect_line "PASS  slot1 route: 127.0.0.1:$BOARD_UDP is reached from local address 127.0.0.3"
expect_line "FAIL  slot2 port $WORK/no-such-tty: $WORK/no-such-tty is not among the serial devices found"
# Two slots that would reach one board without a link each.
printf '[slot1]\nport=%s\n[slot2]\nport=%s\n' "$BOARD_TTY" "$WORK/no-such-tty" >"$WORK/tovar.cfg"
check
expect_rc 2
expect_line "FAIL  slots: [slot1] and [slot2] both reach the board at 127.0.0.1:$BOARD_UDP"
# A slot's boot monitor port on USB: absent unless a board sits in its ROM monitor, which is a note;
# two slots naming one monitor port are refused.
printf '[slot1]\nport=%s\nmonitor-port=usb:9-9\n' "$BOARD_TTY" >"$WORK/tovar.cfg"
check
expect_rc 0
expect_line "NOTE  slot1 monitor-port usb:9-9: a USB position, not present now"
printf '[slot1]\nport=%s\nmonitor-port=usb:9-9\n[slot2]\nport=COM40\nmonitor-port=usb:9-9\n' "$BOARD_TTY" \
  >"$WORK/tovar.cfg"
check
expect_rc 2
expect_line "FAIL  slots: $WORK/tovar.cfg: [slot2] monitor-port=usb:9-9: also a port of [slot1]"
rm "$WORK/tovar.cfg"

# A missing image.
mv "$IMAGES/kernel.bin" "$WORK/kernel.away"
check
expect_rc 2
expect_line "FAIL  image 1: kernel.bin: No such file or directory"
mv "$WORK/kernel.away" "$IMAGES/kernel.bin"

# SHA256SUMS that does not match an image: check names it, flash and transfer refuse to start.
(cd "$IMAGES" && sha256sum boot.bin kernel.bin rootfs.bin >SHA256SUMS)
check
expect_rc 0
expect_line "PASS  sha256 kernel.bin:"
printf 'x' >>"$IMAGES/kernel.bin"
RC=0; "$TOVAR" check --workdir "$WORK" --local-port 0 --json >"$WORK/check.json" 2>&1 || RC=$?
expect_rc 2
python3 -c "import json; r=json.load(open('$WORK/check.json')); c={x['name']: x for x in r['checks']}
assert not r['ok'] and not c['sha256 kernel.bin']['pass'] and c['sha256 boot.bin']['pass']" || fail "check --json"
flash
expect_rc 2
expect_line "SHA256SUMS: kernel.bin does not match"
RC=0; "$TOVAR" transfer --workdir "$WORK" --local-port 0 >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 2
expect_line "SHA256SUMS: kernel.bin does not match"
rm "$IMAGES/SHA256SUMS"

# A port held by another process: check names it, flash refuses before the job.
exec 7<"$BOARD_TTY"
flock -x 7
check --port COM9
expect_rc 2
expect_line "FAIL  port COM9: COM9 cannot be opened: $BOARD_TTY: busy"
flash
expect_rc 2
expect_line "COM9 cannot be opened: $BOARD_TTY: busy"
expect_no_line "Chip ID"
flock -u 7
exec 7<&-

# ins.txt locked, as a running Tovar holds it.
exec 8<"$IMAGES/ins.txt"
flock -x 8
check
expect_rc 2
expect_line "FAIL  ins.txt: $IMAGES/ins.txt: locked by another Tovar"
exec 8<&-

# A bad value or an unknown key in tovar.cfg: named with the file, refused by every command.
printf '[net]\r\nsettle-ms=abc\r\n' >"$WORK/tovar.cfg"
check
expect_rc 2
expect_line "FAIL  tovar.cfg: $WORK/tovar.cfg: [net] settle-ms=abc: not a whole number"
flash --json "$WORK/refused.json"
expect_rc 2
expect_line "$WORK/tovar.cfg: [net] settle-ms=abc: not a whole number"
python3 -c "import json; assert json.load(open('$WORK/refused.json'))['verdict']=='refused'" || fail "refused result"
printf '[net]\nboard-ip=999.1.1.1\n' >"$WORK/tovar.cfg"
RC=0; "$TOVAR" scan --workdir "$WORK" >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 2
expect_line "[net] board-ip=999.1.1.1:"
printf '[net]\nboard-adress=10.0.0.2\n' >"$WORK/tovar.cfg"
RC=0; "$TOVAR" transfer --workdir "$WORK" >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 2
expect_line "[net] board-adress=10.0.0.2: unknown key"
rm "$WORK/tovar.cfg"
[ -z "$(ls "$WORK/store")" ] || fail "a refused job stored files"
stop_board

# On a terminal the transfer shows its rate; --quiet drops the line.
start_board --transfer-only --late-ms 1
transfer_on_tty() {
  script -qfec "timeout 60 '$TOVAR' transfer --workdir '$WORK' --board-ip 127.0.0.1 --board-port $BOARD_UDP \
    --local-port 0 --settle-ms 0 $*" /dev/null >"$WORK/out.txt" || fail "transfer on a terminal"
}
transfer_on_tty
# (A loaded machine may time a reply out now and then: the count of resends is not this test's.)
grep -qE 'kernel\.bin  [0-9]+%  \(all [0-9]+%\)  [0-9.]+ [KM]B/s  [0-9:]+ left  [0-9]+ resends' "$WORK/out.txt" \
  || fail "no progress line with a rate"
expect_line "系统安装成功!"
transfer_on_tty --quiet
expect_no_line "B/s"
stop_board
echo "check_command: ok"
