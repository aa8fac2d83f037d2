#!/usr/bin/env bash
# tovar gang: four virtual boards at once, each slot with its own port and UDP port. Every good
# board stores every image intact and an ins.txt with its own identity; a board whose stores fail
# fails alone; Ctrl+C stops every slot; a bad slot refuses the gang. With --loop each slot takes
# the next board by itself: four slots, three boards each, twelve identities in the record.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 70000 30000 5000
# ins.txt is the fourth image; its bytes beyond the manifest are the station's and go to every board.
printf '[INFO]\r\nid=4\r\nname=ins.txt\r\n' >>"$WORK/KX30T/config.cfg"
sed -i 's/count=3/count=4/' "$WORK/KX30T/config.cfg"
head -c 1000 /dev/urandom >"$IMAGES/ins.txt"
cp "$IMAGES/ins.txt" "$WORK/ins.shared"

BOARD_PIDS=()
trap 'for p in "${BOARD_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; cleanup' EXIT

# start_boards N NAME [OPTIONS...]: N boards in the background, board k storing in $WORK/NAME<k>;
# TTY[k] and UDP[k] receive their pseudo-terminal and UDP port. FAIL_BOARD=k gives board k --store-fail.
start_boards() {
  local n=$1 name=$2; shift 2
  TTY=(); UDP=()
  for k in $(seq "$n"); do
    local extra=()
    [ "${FAIL_BOARD:-0}" = "$k" ] && extra=(--store-fail)
    mkdir -p "$WORK/$name$k"
    "$BOARD" --udp-port 0 --store-dir "$WORK/$name$k" --quiet --idle-exit-s 120 "${extra[@]}" "$@" \
      >"$WORK/$name$k.status" &
    BOARD_PIDS+=($!)
  done
  for k in $(seq "$n"); do
    for _ in $(seq 100); do [ -s "$WORK/$name$k.status" ] && break; sleep 0.1; done
    TTY[$k]=$(sed -nE '1s/.*tty=([^ ]+).*/\1/p' "$WORK/$name$k.status")
    UDP[$k]=$(sed -nE '1s/.*udp=127\.0\.0\.1:([0-9]+).*/\1/p' "$WORK/$name$k.status")
    [ -n "${TTY[$k]}" ] && [ -n "${UDP[$k]}" ] || fail "virtual board $k did not start"
  done
}

stop_boards() {
  for p in "${BOARD_PIDS[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  BOARD_PIDS=()
}

# write_station N: tovar.cfg with N slots; slot 4 by COM name through [ports], the others by path.
write_station() {
  {
    printf '[net]\nboard-ip=127.0.0.1\nsettle-ms=100\nreply-timeout-ms=100\n[ports]\nCOM9=%s\n' "${TTY[4]:-/dev/null}"
    for k in $(seq "$1"); do
      local port=${TTY[$k]}
      [ "$k" = 4 ] && port=COM9
      printf '[slot%s]\nport=%s\nboard-port=%s\nlocal-port=0\n' "$k" "$port" "${UDP[$k]}"
    done
  } >"$WORK/tovar.cfg"
}

gang() {
  RC=0
  timeout 120 "$TOVAR" gang --workdir "$WORK" --job-timeout-s 60 "$@" >"$WORK/out.txt" 2>&1 || RC=$?
}

"$TOVAR" pool add macs 58:76:75:01:05:00 40 --workdir "$WORK" >/dev/null || fail "pool add macs"
"$TOVAR" pool add factory 20260101 40 --workdir "$WORK" >/dev/null || fail "pool add factory"
"$TOVAR" pool add reg 5A3C0200 40 --workdir "$WORK" >/dev/null || fail "pool add reg"

# Four boards, board 3 answers every store with a failure.
FAIL_BOARD=3 start_boards 4 store
write_station 4
printf '[record]\nstation=gang-st7\n' >>"$WORK/tovar.cfg"
gang --next --json "$WORK/results.json"
expect_rc 1
for k in 1 2 4; do expect_line "[slot$k] 系统安装成功!"; done
expect_line "[slot3] failed 2026"
cmp -s "$IMAGES/ins.txt" "$WORK/ins.shared" || fail "the shared ins.txt was written"
python3 - "$WORK" "${TTY[1]}" "${TTY[2]}" "${TTY[3]}" "${TTY[4]}" <<'PY' || fail "results or stored files"
import json, sys
work, ttys = sys.argv[1], sys.argv[2:]
results = [json.loads(line) for line in open(work + "/results.json")]
assert len(results) == 4, results
by_device = {r["device"]: r for r in results}
assert set(by_device) == set(ttys), by_device.keys()
images = work + "/KX30T/系统安装/"
shared_ins = open(images + "ins.txt", "rb").read()
factories = set()
for k, tty in enumerate(ttys, 1):
    r = by_device[tty]
    if k == 3:
        assert r["verdict"] == "failed" and r["stage"] == "transfer", r
        continue
    assert r["verdict"] == "installed", r
    store = "%s/store%d/" % (work, k)
    for id_, name in ((1, "boot.bin"), (2, "kernel.bin"), (3, "rootfs.bin")):
        assert open(store + "%d.bin" % id_, "rb").read() == open(images + name, "rb").read(), (k, name)
    ins = open(store + "4.bin", "rb").read()
    assert len(ins) == len(shared_ins) and ins[576:] == shared_ins[576:], k
    factory = ins[4:12].split(b"\0")[0].decode()
    assert factory == r["identity"]["factory"], (k, factory, r["identity"])
    assert ins[20:46].decode() == r["identity"]["mac"], (k, ins[20:46])
    factories.add(factory)
assert len(factories) == 3, factories
PY
[ "$(find "$WORK/logs" -name '*.log' | wc -l)" -eq 4 ] || fail "expected one log file per board"
grep -lq "系统安装失败" "$WORK"/logs/*/*.log || fail "the failed board's log file"
"$TOVAR" record list --workdir "$WORK" --json >"$WORK/list.json" || fail "record list"
[ "$(grep -c '"verdict":"installed"' "$WORK/list.json")" -eq 3 ] || fail "expected three installed jobs in the record"
[ "$(grep -c '"verdict":"failed"' "$WORK/list.json")" -eq 1 ] || fail "expected one failed job in the record"
# Every slot's job carries the station's name: in the record, the JSON and each log file.
[ "$(grep -c '"station":"gang-st7"' "$WORK/list.json")" -eq 4 ] || fail "the record's jobs lack the station name"
[ "$(grep -c '"station":"gang-st7"' "$WORK/results.json")" -eq 4 ] || fail "the JSON results lack the station name"
[ "$(grep -l "station gang-st7" "$WORK"/logs/*/*.log | wc -l)" -eq 4 ] || fail "a log file lacks the station name"

# Without --next one identity would go on several boards: refused before any job.
gang --mac '^587675010202^587675010203' --factory 1 --reg 1
expect_rc 2
expect_line "--next is needed"

# A slot value its option refuses names the file, section, key and value.
cp "$WORK/tovar.cfg" "$WORK/tovar.good"
printf '[slot5]\nport=COM5\nboard-port=abc\n' >>"$WORK/tovar.cfg"
gang --next
expect_rc 2
expect_line "$WORK/tovar.cfg: [slot5] board-port=abc: not a whole number"
cp "$WORK/tovar.good" "$WORK/tovar.cfg"
stop_boards

# Ctrl+C while every console stays silent: every slot stops and each job is recorded as stopped.
start_boards 4 quiet --silent-console
write_station 4
timeout 120 "$TOVAR" gang --next --workdir "$WORK" --json "$WORK/stopped.json" >"$WORK/out.txt" 2>&1 &
GANG_PID=$!
for _ in $(seq 200); do [ "$(grep -c "Chip ID" "$WORK/out.txt")" -ge 4 ] && break; sleep 0.05; done
sleep 0.5
kill -INT "$GANG_PID"
RC=0; wait "$GANG_PID" || RC=$?
expect_rc 3
[ "$(grep -c '"verdict":"stopped"' "$WORK/stopped.json")" -eq 4 ] || fail "expected four stopped results"
"$TOVAR" record list --workdir "$WORK" --json | grep -c '"verdict":"stopped"' | grep -qx 4 || fail "expected four stopped jobs in the record"
stop_boards

# --loop: each slot waits for its next board and starts by itself; needs tovar-board --boards.
loop_part() {
  if ! "$BOARD" --help | grep -q -- '--boards'; then
    echo "gang_command: the --loop part is skipped: tovar-board has no --boards"
    return
  fi
  start_boards 4 loop --boards 3 --swap-delay-ms 300
  write_station 4
  "$TOVAR" record list --workdir "$WORK" --json >"$WORK/before.json" || fail "record list"
  gang --next --loop --count 3 --poll-ms 100 --json "$WORK/loop.json"
  expect_rc 0
  [ "$(grep -c '"verdict":"installed"' "$WORK/loop.json")" -eq 12 ] || fail "expected twelve installed boards"
  "$TOVAR" record list --workdir "$WORK" --json >"$WORK/after.json" || fail "record list"
  python3 - "$WORK" <<'PY' || fail "the boards of the loop"
import json, sys
work = sys.argv[1]
images = work + "/KX30T/系统安装/"
stored = {}
for k in (1, 2, 3, 4):
    for b in (1, 2, 3):
        store = "%s/loop%d/board%d/" % (work, k, b)
        for id_, name in ((1, "boot.bin"), (2, "kernel.bin"), (3, "rootfs.bin")):
            assert open(store + "%d.bin" % id_, "rb").read() == open(images + name, "rb").read(), (k, b, name)
        ins = open(store + "4.bin", "rb").read()
        stored[ins[4:12].split(b"\0")[0].decode()] = ins[20:46].decode()
assert len(stored) == 12, stored
# Each board's identity is in the record as installed, with the MAC that board stored.
before = sum(1 for _ in open(work + "/before.json"))
new = [json.loads(line) for line in open(work + "/after.json")][before:]
installed = {r["identity"]["factory"]: r["identity"]["mac"] for r in new if r["verdict"] == "installed"}
assert installed == stored, (installed, stored)
PY
  stop_boards
}
loop_part
echo "gang_command: ok"
