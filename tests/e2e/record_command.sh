#!/usr/bin/env bash
# The production record through the command line: a whole job leaves its row with the images'
# digests; pools hand out identities; two jobs that want one MAC at the same moment: one runs.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 5000 2048 0

start_board
flash --json "$WORK/result.json"
expect_rc 0
"$TOVAR" record list --workdir "$WORK" --json >"$WORK/list.json" || fail "record list"
[ "$(wc -l <"$WORK/list.json")" -eq 1 ] || fail "expected one recorded job"
python3 - "$WORK/list.json" "$IMAGES" <<'PY' || fail "the recorded digests are not those of the images"
import hashlib, json, sys
job = json.loads(open(sys.argv[1]).readline())
assert job["verdict"] == "installed" and job["identity"]["factory"] == "12345678", job
for image in job["images"]:
    want = hashlib.sha256(open(sys.argv[2] + "/" + image["name"], "rb").read()).hexdigest()
    assert image["sha256"] == want, image
PY
"$TOVAR" record stats --workdir "$WORK" | grep -qE ' 1  0  0  100.0%' || fail "record stats"

# Another board with the MAC that is now installed: refused before anything is sent.
RC=0; timeout 60 "$TOVAR" flash --port COM9 --mac '^587675010202^587675010209' --factory 22222222 --reg 5A3C0002 \
  --workdir "$WORK" --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 2
expect_line "mac:587675010202 is already on board 12345678"
expect_no_line "Chip ID"
stop_board

# Pools: the next identity comes from them; a failed job gives it back.
"$TOVAR" pool add macs 58:76:75:01:03:00 10 --workdir "$WORK" >/dev/null || fail "pool add macs"
"$TOVAR" pool add factory 20260001 10 --workdir "$WORK" >/dev/null || fail "pool add factory"
"$TOVAR" pool add reg 5A3C0100 10 --workdir "$WORK" >/dev/null || fail "pool add reg"
start_board --store-fail
RC=0; timeout 60 "$TOVAR" flash --next --port COM9 --workdir "$WORK" --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 \
  --board-port "$BOARD_UDP" --local-port 0 --settle-ms 0 --reply-timeout-ms 100 --store-timeout-ms 300 >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 1
expect_line "->从号码池取得身份 / Identity from the pools: ^587675010300^587675010301 20260001 5A3C0100"
stop_board
"$TOVAR" pool take --workdir "$WORK" --json | grep -qF '"mac":"^587675010300^587675010301"' || fail "a failed job's identity did not go back"

# Two boards, two jobs started at the same moment that want one MAC: exactly one runs.
mkdir -p "$WORK/store2"
"$BOARD" --udp-port 0 --store-dir "$WORK/store2" --quiet --idle-exit-s 120 >"$WORK/board2.txt" &
PID1=$!
for _ in $(seq 100); do [ -s "$WORK/board2.txt" ] && break; sleep 0.1; done
TTY1=$(sed -nE '1s/.*tty=([^ ]+).*/\1/p' "$WORK/board2.txt")
UDP1=$(sed -nE '1s/.*udp=127\.0\.0\.1:([0-9]+).*/\1/p' "$WORK/board2.txt")
[ -n "$TTY1" ] || fail "the second virtual board did not start"
start_board; TTY2=$BOARD_TTY; UDP2=$BOARD_UDP
printf '[ports]\nCOM9=%s\nCOM8=%s\n' "$TTY1" "$TTY2" >"$WORK/ports.cfg"
run_one() {  # PORT UDP FACTORY OUT
  timeout 60 "$TOVAR" flash --port "$1" --mac '^5876750104A0^5876750104A1' --factory "$3" --reg "$3" --workdir "$WORK" \
    --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$2" --local-port 0 --settle-ms 1000 >"$4" 2>&1
}
RC1=0; RC2=0
run_one COM9 "$UDP1" 30000001 "$WORK/one.txt" & J1=$!
run_one COM8 "$UDP2" 30000002 "$WORK/two.txt" & J2=$!
wait $J1 || RC1=$?; wait $J2 || RC2=$?
kill "$PID1" 2>/dev/null || true
[ $((RC1 + RC2)) -eq 2 ] && { [ $RC1 -eq 0 ] || [ $RC2 -eq 0 ]; } || fail "exit statuses $RC1 and $RC2, expected one 0 and one 2"
grep -qF "is in use by a running job" "$WORK/one.txt" "$WORK/two.txt" || fail "the refused job did not say where the MAC is in use"
stop_board
echo "record_command: ok"
