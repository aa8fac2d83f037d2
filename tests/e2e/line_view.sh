#!/usr/bin/env bash
# tovar line in a real browser: a throw-away PostgreSQL record, a gang of three slots with --loop
# (slot 3's board fails its stores) and a tovar flash station on virtual boards, then the line view
# read with headless Chromium (--dump-dom) and pictured (BUILD_DIR/tovar-line*.png). Checks the
# stations and the slots' stages while they run, the counts and the yield, a failed board's page,
# the CSV export against tovar record list --csv, and a station killed with SIGKILL going offline.
# Without Chromium it is skipped (exit 77), unless TOVAR_REQUIRE_BROWSER=1 (CI).
source "$(dirname "$0")/lib/station.bash" "$1"
SKIP=${TOVAR_SKIP_STATUS:-0}
CHROMIUM=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$CHROMIUM" ]; then
  [ "${TOVAR_REQUIRE_BROWSER:-0}" = 1 ] && fail "chromium is missing (./scripts/deps --browser)"
  echo "line_view: skipped, no chromium (./scripts/deps --browser installs it)"
  exit "$SKIP"
fi
SCRIPTS=$(realpath "$(dirname "$0")/../../scripts")
PG_DIR=$(mktemp -d -u -t tovar-linepg.XXXXXX)
PIDS=()
trap 'for p in "${PIDS[@]}"; do kill -KILL "$p" 2>/dev/null || true; done; "$SCRIPTS/pg-test-cluster" stop "$PG_DIR" >/dev/null 2>&1 || true; cleanup' EXIT
URL=$("$SCRIPTS/pg-test-cluster" start "$PG_DIR") || fail "no PostgreSQL cluster"

make_station 400000 30000 5000
"$TOVAR" pool add macs 58:76:75:01:07:00 40 --record "$URL" --workdir "$WORK" >/dev/null || fail "pool add macs"
"$TOVAR" pool add factory 20261001 40 --record "$URL" --workdir "$WORK" >/dev/null || fail "pool add factory"
"$TOVAR" pool add reg 5A3C0700 40 --record "$URL" --workdir "$WORK" >/dev/null || fail "pool add reg"

# board NAME [OPTIONS...]: a virtual board in the background; its pty and UDP port in TTY_<NAME>, UDP_<NAME>.
board() {
  local name=$1; shift
  mkdir -p "$WORK/$name"
  "$BOARD" --udp-port 0 --store-dir "$WORK/$name" --quiet --idle-exit-s 300 "$@" >"$WORK/$name.status" &
  PIDS+=($!)
  for _ in $(seq 100); do [ -s "$WORK/$name.status" ] && break; sleep 0.1; done
  printf -v "TTY_$name" '%s' "$(sed -nE '1s/.*tty=([^ ]+).*/\1/p' "$WORK/$name.status")"
  printf -v "UDP_$name" '%s' "$(sed -nE '1s/.*udp=127\.0\.0\.1:([0-9]+).*/\1/p' "$WORK/$name.status")"
}
# Three boards a slot, slowed down so that a picture finds them in their transfers.
board s1 --boards 3 --swap-delay-ms 300 --late-ms 2
board s2 --boards 3 --swap-delay-ms 300 --late-ms 2
board s3 --boards 3 --swap-delay-ms 300 --late-ms 2 --store-fail
board f1 --late-ms 2
{
  printf '[net]\nboard-ip=127.0.0.1\nsettle-ms=100\nreply-timeout-ms=200\n'
  printf '[record]\nurl=%s\n[line]\nheartbeat-s=1\noffline-s=4\nstuck-s=60\n' "$URL"
  printf '[ports]\nCOM9=%s\n' "$TTY_f1"
  for k in 1 2 3; do
    tty=TTY_s$k udp=UDP_s$k
    printf '[slot%s]\nport=%s\nboard-port=%s\nlocal-port=0\n' "$k" "${!tty}" "${!udp}"
  done
} >"$WORK/tovar.cfg"

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$TOVAR" line --workdir "$WORK" --listen "127.0.0.1:$PORT" >"$WORK/line.txt" 2>&1 &
LINE_PID=$!
PIDS+=($LINE_PID)
"$TOVAR" gang --workdir "$WORK" --station gang1 --next --loop --poll-ms 100 --job-timeout-s 120 --quiet \
  --json "$WORK/gang.json" >"$WORK/gang.txt" 2>&1 &
GANG_PID=$!
PIDS+=($GANG_PID)
"$TOVAR" flash --workdir "$WORK" --station flash1 --port COM9 --next --board-port "$UDP_f1" --local-port 0 \
  --job-timeout-s 120 --quiet >"$WORK/flash.txt" 2>&1 &
FLASH_PID=$!
PIDS+=($FLASH_PID)

BASE="http://127.0.0.1:$PORT"
browser() {
  timeout 60 "$CHROMIUM" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --no-first-run \
    --user-data-dir="$WORK/chromium" --window-size=1280,1100 --virtual-time-budget=3000 "$@" 2>>"$WORK/chromium.log"
}
dom() { browser --dump-dom "$1" >"$WORK/dom.html" || fail "chromium could not read $1"; }
jobs_in_record() { "$TOVAR" record list --record "$URL" --workdir "$WORK" --json 2>/dev/null | wc -l; }

# While the gang runs: both stations, and the slots in their stages.
running=0
for _ in $(seq 200); do
  dom "$BASE/"
  if grep -q 'data-station="gang1"' "$WORK/dom.html" &&
     grep -qE 'data-stage="(prepare|bring-up|console|transfer)"' "$WORK/dom.html"; then
    running=1
    break
  fi
  sleep 0.2
done
[ "$running" = 1 ] || { cp "$WORK/dom.html" "$BUILD_DIR/tovar-line-dom.html"; fail "no running slot on the line view"; }
browser --screenshot="$BUILD_DIR/tovar-line-running.png" "$BASE/" >/dev/null || fail "screenshot"

wait "$FLASH_PID" || true
for _ in $(seq 600); do [ "$(jobs_in_record)" -ge 10 ] && break; sleep 0.2; done
[ "$(jobs_in_record)" -eq 10 ] || fail "expected ten jobs in the record, found $(jobs_in_record)"
sleep 1.5
dom "$BASE/"
cp "$WORK/dom.html" "$BUILD_DIR/tovar-line-dom.html"
"$TOVAR" record list --record "$URL" --workdir "$WORK" --json >"$WORK/jobs.json" || fail "record list"
python3 - "$WORK/dom.html" "$WORK/jobs.json" <<'PY' || fail "the line view's counts"
import json, re, sys
dom = open(sys.argv[1], encoding="utf-8").read()
jobs = [json.loads(line) for line in open(sys.argv[2])]
# First-pass yield: each factory number once, by its first job (a failed board's numbers go back
# to the pools and come again on another board, whose job is then not a first one).
first = {}
for job in sorted(jobs, key=lambda j: (j["start"], j["id"])):
    first.setdefault(job["identity"]["factory"], job["verdict"])
passed = sum(1 for v in first.values() if v == "installed")
yield_text = "%.1f%%" % (100.0 * passed / len(first))
for station in ("gang1", "flash1"):
    assert 'data-station="%s"' % station in dom, station
def box(key):
    m = re.search(r'id="line-%s">([^<]*)<' % key, dom)
    assert m, key
    return m.group(1)
assert box("installed") == "7", box("installed")
assert box("failed") == "3", box("failed")
assert box("yield") == yield_text, (box("yield"), yield_text)
assert dom.count('class="tile ') == 4, dom.count('class="tile ')
PY
browser --screenshot="$BUILD_DIR/tovar-line.png" "$BASE/" >/dev/null || fail "screenshot"
# tovar record stats counts the shift as the page does.
"$TOVAR" record stats --shift --record "$URL" --workdir "$WORK" >"$WORK/out.txt" || fail "record stats --shift"
expect_line "gang1  6  0  3  "
expect_line "flash1  1  0  0  100.0%"

# The failed board's page shows its job with its reason.
MAC=$("$TOVAR" record list --record "$URL" --workdir "$WORK" --json | python3 -c '
import json, sys
failed = [json.loads(l) for l in sys.stdin if json.loads(l)["verdict"] == "failed"]
print(failed[0]["identity"]["mac"][1:13])')
REASON=$("$TOVAR" record list --record "$URL" --workdir "$WORK" --mac "$MAC" --json | python3 -c '
import json, sys; print(json.loads(sys.stdin.readline())["reason"])')
[ -n "$REASON" ] || fail "the failed job has no reason"
dom "$BASE/board/$MAC"
grep -qF "$REASON" "$WORK/dom.html" || fail "/board/$MAC does not show the reason: $REASON"
grep -q 'data-job=' "$WORK/dom.html" || fail "/board/$MAC shows no job"
browser --screenshot="$BUILD_DIR/tovar-line-board.png" "$BASE/board/$MAC" >/dev/null || fail "screenshot"
dom "$BASE/failures"
grep -qF "$REASON" "$WORK/dom.html" || fail "/failures does not show the reason"
browser --screenshot="$BUILD_DIR/tovar-line-failures.png" "$BASE/failures" >/dev/null || fail "screenshot"

# The export holds exactly the record's jobs.
curl -sf "$BASE/export.csv" >"$WORK/export.csv" || fail "/export.csv"
"$TOVAR" record list --record "$URL" --workdir "$WORK" --csv >"$WORK/list.csv" || fail "record list --csv"
diff "$WORK/list.csv" "$WORK/export.csv" >&2 || fail "/export.csv differs from tovar record list --csv"

# Bad input: a clean refusal or not found, never internals; an unknown path is a 404.
for path in "/board/%27%22%3B%20DROP%20TABLE%20jobs%3B--" "/api/board/%27%20OR%201%3D1--" "/api/board/a%00b" \
            "/board/$(head -c 10000 /dev/zero | tr '\0' a)" "/no/such/page"; do
  code=$(curl -s -o "$WORK/bad.txt" -w '%{http_code}' "$BASE$path")
  case "$code" in 200|400|404|414) ;; *) fail "$path answered $code";; esac
  ! grep -qiE 'postgres|sql|exception|error:' "$WORK/bad.txt" || fail "$path shows internals: $(head -c 300 "$WORK/bad.txt")"
done
[ "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/no/such/page")" = 404 ] || fail "an unknown path is not a 404"
! curl -s "$BASE/api/now" | grep -qF "$URL" || fail "the record's URL is in an answer"

# A station killed with SIGKILL shows as offline.
kill -KILL "$GANG_PID"
offline=0
for _ in $(seq 40); do
  sleep 0.5
  dom "$BASE/"
  grep -qE 'class="station offline" data-station="gang1"' "$WORK/dom.html" && { offline=1; break; }
done
[ "$offline" = 1 ] || fail "the killed gang station is not shown offline"
browser --screenshot="$BUILD_DIR/tovar-line-offline.png" "$BASE/" >/dev/null || fail "screenshot"

# A busy port is refused with status 2; SIGTERM ends the view within a second.
RC=0; "$TOVAR" line --workdir "$WORK" --listen "127.0.0.1:$PORT" >"$WORK/out.txt" 2>&1 || RC=$?
expect_rc 2
expect_line "in use"
start=$(date +%s%N)
kill -TERM "$LINE_PID"
wait "$LINE_PID" || fail "tovar line did not end cleanly on SIGTERM"
[ $(( ($(date +%s%N) - start) / 1000000 )) -lt 1000 ] || fail "tovar line took a second or more to stop"
echo "line_view: ok"
