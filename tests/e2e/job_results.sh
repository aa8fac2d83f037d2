#!/usr/bin/env bash
# What a job's end tells a caller: the exit status of each verdict and the result as JSON.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 5000 2048 0

"$TOVAR" --version | grep -qE '^tovar [0-9.]+ \(commit [0-9a-f]+|unknown\)' || fail "tovar --version"
"$BOARD" --version | grep -q '^tovar-board ' || fail "tovar-board --version"

# Installed: exit 0, and each image's SHA-256 in the result is that of the file.
start_board
RC=0
timeout 120 "$TOVAR" flash --port COM9 --mac '^587675010202^587675010203' --factory 12345678 --reg 5A3C0001 \
  --workdir "$WORK" --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
  --settle-ms 100 --job-timeout-s 20 --json - 2>"$WORK/log.txt" >"$WORK/result.json" || RC=$?
expect_rc 0
for pair in "0 boot.bin" "1 kernel.bin" "2 rootfs.bin"; do
  set -- $pair
  want=$(sha256sum "$IMAGES/$2" | cut -d' ' -f1)
  got=$(python3 -c "import json,sys; r=json.load(open('$WORK/result.json')); print(r['images'][$1]['sha256'])")
  [ "$want" = "$got" ] || fail "$2: sha256 $got, expected $want"
done
python3 -c "import json; r=json.load(open('$WORK/result.json')); assert r['verdict']=='installed' and all(i['stored'] for i in r['images'])" \
  || fail "result is not an installed board with every image stored"
grep -qF "系统安装成功!" "$WORK/log.txt" || fail "the log did not go to standard error"
stop_board

# Refused before anything reaches the board: exit 2.
start_board
flash --workdir "$WORK/does-not-exist"; expect_rc 2
flash --select 3; expect_rc 2
expect_line "--select 3: the configuration has slots 0 to 2"
RC=0; "$TOVAR" flash --port COM9 --mac '^587675010202^587675010203' >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 2
mv "$IMAGES/ins.txt" "$WORK/ins.away"
flash --json "$WORK/refused.json"; expect_rc 2
expect_line "->未写入身份信息，未开始下载。"
expect_no_line "Chip ID"
python3 -c "import json; assert json.load(open('$WORK/refused.json'))['verdict']=='refused'" || fail "refused result"
mv "$WORK/ins.away" "$IMAGES/ins.txt"
[ -z "$(ls "$WORK/store")" ] || fail "a refused job stored files"
stop_board

# A board that sends every reply twice and refuses every store: failed, exit 1, never a success.
start_board --transfer-only --duplicate-replies --store-fail
RC=0
timeout 60 "$TOVAR" transfer --workdir "$WORK" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
  --settle-ms 0 --reply-timeout-ms 200 --store-timeout-ms 500 >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 1
expect_no_line "存储完成!"
expect_no_line "系统安装成功!"
expect_line "系统安装失败!"
stop_board
echo "job_results: ok"
