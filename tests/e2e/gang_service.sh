#!/usr/bin/env bash
# The gang station's service: the exact ExecStart of tovar-gang@.service, run in the unit's working
# folder (below a scratch root) against two virtual boards, gets the unit's stop signal while both
# boards are in their transfer. Every running job is recorded as stopped, the journal has one line
# per job, and the gang exits with a status the unit counts as success within TimeoutStopSec.
source "$(dirname "$0")/lib/station.bash" "$1"
UNIT="$(dirname "$0")/../../packaging/systemd/tovar-gang@.service"
[ -f "$UNIT" ] || fail "no unit file $UNIT"
key() { sed -n "s/^$1=//p" "$UNIT"; }
INSTANCE=station1
# The unit's folders below $WORK/root, its program the one just built.
expand() { sed -e "s|%i|$INSTANCE|g" -e "s|/var/|$WORK/root/var/|g" -e "s|/usr/bin/tovar|$TOVAR|g" <<<"$1"; }
EXEC_START=$(expand "$(key ExecStart)")
STATION=$(expand "$(key WorkingDirectory)")
STOP_S=$(key TimeoutStopSec)
SIGNAL=$(key KillSignal)
SUCCESS=" $(key SuccessExitStatus) "
[ -n "$EXEC_START" ] && [ -n "$STOP_S" ] && [ -n "$SIGNAL" ] || fail "the unit lacks ExecStart, TimeoutStopSec or KillSignal"
grep -q -- "--loop" <<<"$EXEC_START" || fail "the service does not loop: $EXEC_START"

make_station 4096 600000 4096
mkdir -p "$STATION" "$(expand /var/log/tovar/%i)"
mv "$WORK/KX30T" "$WORK/tcl_lib" "$STATION/"
BOARD_PIDS=()
trap 'for p in "${BOARD_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; cleanup' EXIT
cfg=$(printf '[net]\nboard-ip=127.0.0.1\nsettle-ms=100\nreply-timeout-ms=500\nlocal-port=0\n')
for k in 1 2; do
  # Slow replies keep each board in its transfer for many seconds.
  "$BOARD" --udp-port 0 --store-dir "$WORK/store" --quiet --idle-exit-s 120 --late-ms 5 >"$WORK/board$k.status" &
  BOARD_PIDS+=($!)
  for _ in $(seq 100); do [ -s "$WORK/board$k.status" ] && break; sleep 0.1; done
  tty=$(sed -nE '1s/.*tty=([^ ]+).*/\1/p' "$WORK/board$k.status")
  udp=$(sed -nE '1s/.*udp=127\.0\.0\.1:([0-9]+).*/\1/p' "$WORK/board$k.status")
  [ -n "$tty" ] && [ -n "$udp" ] || fail "virtual board $k did not start"
  cfg+=$(printf '\n[slot%s]\nport=%s\nboard-port=%s\n' "$k" "$tty" "$udp")
done
printf '%s\n' "$cfg" >"$STATION/tovar.cfg"
"$TOVAR" pool add macs 58:76:75:01:07:00 10 --workdir "$STATION" >/dev/null || fail "pool add macs"
"$TOVAR" pool add factory 20260301 10 --workdir "$STATION" >/dev/null || fail "pool add factory"
"$TOVAR" pool add reg 5A3C0300 10 --workdir "$STATION" >/dev/null || fail "pool add reg"

# shellcheck disable=SC2086  # the unit's command line is split on blanks as systemd splits it
(cd "$STATION" && exec $EXEC_START) >"$WORK/out.txt" 2>&1 &
GANG_PID=$!
transfers() { grep -l '\[stage\] transfer' "$(expand /var/log/tovar/%i)"/*/*.log 2>/dev/null | wc -l; }
for _ in $(seq 600); do [ "$(transfers)" -ge 2 ] && break; sleep 0.05; done
[ "$(transfers)" -ge 2 ] || fail "the boards did not reach their transfer"
sleep 0.3
START_NS=$(date +%s%N)
kill -s "${SIGNAL#SIG}" "$GANG_PID"
for _ in $(seq $((STOP_S * 20))); do kill -0 "$GANG_PID" 2>/dev/null || break; sleep 0.05; done
kill -0 "$GANG_PID" 2>/dev/null && { kill -KILL "$GANG_PID"; fail "the gang did not end within TimeoutStopSec=$STOP_S"; }
RC=0; wait "$GANG_PID" || RC=$?
STOP_MS=$(( ($(date +%s%N) - START_NS) / 1000000 ))
[[ "$SUCCESS" == *" $RC "* ]] || fail "exit status $RC is not among SuccessExitStatus=$SUCCESS"
expect_rc 3
"$TOVAR" record list --workdir "$STATION" --json >"$WORK/list.json" || fail "record list"
[ "$(grep -c '"verdict":"stopped"' "$WORK/list.json")" -eq 2 ] || fail "expected two stopped jobs in the record"
[ "$(grep -c '"stage":"transfer"' "$WORK/list.json")" -eq 2 ] || fail "expected both stopped in their transfer"
for k in 1 2; do
  [ "$(grep -cE "^\[slot$k\] stopped 202603[0-9]+ \(transfer\): .* \| station .+, mac \^5876750107[0-9A-Fa-f]+\^5876750107[0-9A-Fa-f]+, reg 5A3C03" "$WORK/out.txt")" -eq 1 ] \
    || fail "slot $k: no job line for the journal"
done
echo "gang_service: ok, stopped in ${STOP_MS} ms (TimeoutStopSec=$STOP_S)"
