#!/usr/bin/env bash
# Three gang stations of four slots on one PostgreSQL record take identities from one pool for
# DURATION seconds against virtual boards, while a chaos loop stalls the database, kills a station
# with SIGKILL (and starts it again) and, as root, fills the stations' small disk. Then every
# installed value must be on exactly one board, every result in the record once, every taken value
# installed or free again after the hold time, and no process left hanging.
# Usage: scripts/pg-test-cluster run -- tests/soak/soak.sh BUILD_DIR [DURATION_S]
source "$(dirname "$0")/../e2e/lib/station.bash" "$1"
DURATION=${2:-60}
URL=${TOVAR_TEST_PG_URL:?run me under scripts/pg-test-cluster run --}
make_station 20000 200000 5000
PIDS=(); STATIONS=(); DISK=""
stop_all() {
  [ "$BASHPID" = "$$" ] || return 0   # only the script itself cleans up
  for p in "${STATIONS[@]}" "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$DISK" ] && umount "$DISK" 2>/dev/null || true
  cleanup
}
trap stop_all EXIT
pg_pids() { pgrep -f "postgres.*$(sed -E 's/.*:([0-9]+)\/.*/\1/' <<<"$URL")" || true; }

rec() { "$TOVAR" "$@" --record "$URL" --workdir "$WORK" >/dev/null; }
rec pool add macs 58:76:75:02:00:00 20000 || fail "pool add macs"
rec pool add factory 40000001 20000 || fail "pool add factory"
rec pool add reg 6A000000 20000 || fail "pool add reg"

# Each station's folder; as root its spool and logs lie on a small disk that the chaos fills.
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=4m tmpfs "$WORK/store" 2>/dev/null; then DISK="$WORK/store"; fi
for s in 1 2 3; do
  dir="$WORK/st$s"; mkdir -p "$dir"
  cp -r "$WORK/KX30T" "$WORK/tcl_lib" "$dir/"
  {
    printf '[net]\nboard-ip=127.0.0.1\nsettle-ms=50\nreply-timeout-ms=100\n'
    printf '[record]\nurl=%s\nstation=st%s\nhold-minutes=1\ntimeout-ms=2000\n' "$URL" "$s"
    for k in 1 2 3 4; do
      mkdir -p "$dir/board$k"
      "$BOARD" --udp-port 0 --store-dir "$dir/board$k" --quiet --boards 100000 --swap-delay-ms 50 \
        --boot-delay-ms 20 --idle-exit-s 600 >"$dir/board$k.status" &
      PIDS+=($!)
      for _ in $(seq 100); do [ -s "$dir/board$k.status" ] && break; sleep 0.05; done
      tty=$(sed -nE '1s/.*tty=([^ ]+).*/\1/p' "$dir/board$k.status")
      udp=$(sed -nE '1s/.*udp=127\.0\.0\.1:([0-9]+).*/\1/p' "$dir/board$k.status")
      printf '[slot%s]\nport=%s\nboard-port=%s\nlocal-port=0\n' "$k" "$tty" "$udp"
    done
  } >"$dir/tovar.cfg"
  if [ -n "$DISK" ]; then mkdir -p "$DISK/st$s"; ln -s "$DISK/st$s" "$dir/record-spool"; printf '[log]\ndir=%s\n' "$DISK/st$s" >>"$dir/tovar.cfg"; fi
done

start_station() {
  "$TOVAR" gang --workdir "$WORK/st$1" --next --loop --poll-ms 100 --job-timeout-s 60 --quiet \
    --json - >>"$WORK/st$1/results.json" 2>>"$WORK/st$1/err.txt" &
  STATIONS[$1]=$!
}
for s in 1 2 3; do start_station "$s"; done

END=$((SECONDS + DURATION)); ROUND=0; STALLS=0; KILLS=0; FILLS=0; RESTARTED=""
while [ $SECONDS -lt $END ]; do
  sleep 6
  case $((ROUND % 3)) in
    # A backend may end between pgrep and kill: the others are still paused and resumed.
    0) pids=$(pg_pids)
       if [ -n "$pids" ]; then
         kill -STOP $pids 2>/dev/null || true; sleep 3; kill -CONT $pids 2>/dev/null || true; STALLS=$((STALLS + 1))
       fi ;;
    1) s=$((ROUND % 3 + 1)); # No wait for the killed one: bash 5.2's next background child then sometimes fails
       # ("wait_for: No record of process") and runs the exit trap instead of the station.
       kill -KILL "${STATIONS[$s]}" 2>/dev/null || true
       sleep 1; start_station "$s"; KILLS=$((KILLS + 1))
       [ -n "$RESTARTED" ] || RESTARTED="st$s $(date -u +%Y-%m-%dT%H:%M:%S)" ;;
    2) if [ -n "$DISK" ]; then head -c 8m /dev/zero >"$DISK/fill" 2>/dev/null || true; sleep 3; rm -f "$DISK/fill"; FILLS=$((FILLS + 1)); fi ;;
  esac
  ROUND=$((ROUND + 1))
done

# A stop ends the running boards as Stop does; no station may hang.
for s in 1 2 3; do kill -TERM "${STATIONS[$s]}" 2>/dev/null || true; done
for s in 1 2 3; do
  for _ in $(seq 300); do kill -0 "${STATIONS[$s]}" 2>/dev/null || break; sleep 0.1; done
  kill -0 "${STATIONS[$s]}" 2>/dev/null && fail "station $s still runs 30 s after SIGTERM"
done
STATIONS=()
# What the spools still hold is written back when a station opens the record again.
for s in 1 2 3; do
  "$TOVAR" record list --workdir "$WORK/st$s" >/dev/null 2>"$WORK/flush.txt" ||
    { sed 's/^/  | /' "$WORK/flush.txt" >&2; fail "record list st$s"; }
done
sleep 65   # the hold time of the killed stations' jobs
rec pool take || fail "pool take after the hold time"
"$TOVAR" pool taken --json --record "$URL" --workdir "$WORK" >"$WORK/taken.json" || fail "pool taken"
"$TOVAR" record list --json --record "$URL" --workdir "$WORK" >"$WORK/jobs.json" || fail "record list"
cat "$WORK"/st*/results.json >"$WORK/results.json"
python3 - "$WORK" "$STALLS" "$KILLS" "$FILLS" "$RESTARTED" <<'PY' || fail "the record's guarantees"
import collections, json, sys
work, stalls, kills, fills, restarted = sys.argv[1:]
jobs = [json.loads(l) for l in open(work + "/jobs.json")]
results = []
for line in open(work + "/results.json"):
    try:
        results.append(json.loads(line))
    except ValueError:
        pass  # the line a killed station was writing
key = lambda r: (r["station"], r["device"], r["start"])
count = collections.Counter(key(j) for j in jobs)
twice = [k for k, n in count.items() if n > 1]
lost = [key(r) for r in results if count[key(r)] == 0]
installed = [j for j in jobs if j["verdict"] == "installed" and "conflict" not in j.get("flags", [])]
boards = collections.defaultdict(set)
for j in installed:
    for kind in ("mac", "reg"):
        boards[(kind, j["identity"][kind])].add(j["identity"]["factory"])
shared = {k: v for k, v in boards.items() if len(v) > 1}
taken = [json.loads(l) for l in open(work + "/taken.json")]
print("soak: %d jobs recorded (%d installed, %d conflict), %d results reported, %d stalls, %d kills, %d disk fills"
      % (len(jobs), len(installed), sum("conflict" in j.get("flags", []) for j in jobs), len(results),
         int(stalls), int(kills), int(fills)))
print("soak: %d recorded twice, %d reported but not recorded, %d values on two boards, %d taken after the hold time"
      % (len(twice), len(lost), len(shared), len(taken)))
assert installed, "no board was installed"
if restarted:  # the station killed first took boards again after its restart
    station, since = restarted.split()
    assert any(r["station"] == station and r["start"] > since for r in results), restarted
assert not twice, twice[:5]
assert not lost, lost[:5]
assert not shared, list(shared.items())[:5]
assert len(taken) <= 3, taken  # only the identity that pool take just reserved
PY
echo "soak: ok"
