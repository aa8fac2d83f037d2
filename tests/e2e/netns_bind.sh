#!/usr/bin/env bash
# --bind on a station with two slots: two boards with the same address, each behind its own link.
# Both transfers run at once on the same local port; each, tied to its link (slot A by --bind, slot
# B by bind= in tovar.cfg), reaches only its own board. Everything lives in network namespaces the
# script makes and removes on every exit; where it cannot make them it reports itself skipped.
source "$(dirname "$0")/lib/station.bash" "$1"
SKIP_STATUS=${TOVAR_SKIP_STATUS:-0}   # ctest asks for 77
skip() { echo "netns_bind: skipped: $*"; exit "$SKIP_STATUS"; }

TAG=tovar$$
NS_HOST=${TAG}-host NS_A=${TAG}-a NS_B=${TAG}-b
PIDS=()
cleanup_netns() {
  local pid ns
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  for ns in "$NS_A" "$NS_B" "$NS_HOST"; do ip netns del "$ns" 2>/dev/null || true; done
}
trap 'cleanup_netns; cleanup' EXIT
trap 'exit 130' INT TERM HUP

[ "$(id -u)" -eq 0 ] || skip "network namespaces need root"
command -v ip >/dev/null || skip "no ip command (iproute2)"
ip netns add "$NS_HOST" 2>/dev/null || skip "ip netns add failed: no network namespaces here"
ip netns add "$NS_A" && ip netns add "$NS_B" || fail "cannot add the boards' namespaces"

# The station's namespace holds vethA and vethB, both 10.200.0.1; each board's namespace holds the
# other end as eth0, both 10.200.0.2. Nothing is added to the machine's own namespace.
hostns() { ip netns exec "$NS_HOST" "$@"; }
hostns ip link set lo up
for slot in A B; do
  ns=$NS_A; [ $slot = B ] && ns=$NS_B
  ip -n "$NS_HOST" link add "veth$slot" type veth peer name eth0 netns "$ns" || fail "cannot make veth$slot"
  ip -n "$NS_HOST" addr add 10.200.0.1/24 dev "veth$slot"
  ip -n "$NS_HOST" link set "veth$slot" up
  ip -n "$ns" link set lo up
  ip -n "$ns" addr add 10.200.0.2/24 dev eth0
  ip -n "$ns" link set eth0 up
done
# Replies from 10.200.0.2 come in on both links: no reverse-path filter may drop those on vethB.
hostns sh -c 'for f in /proc/sys/net/ipv4/conf/*/rp_filter; do echo 0 >"$f"; done'

# Each slot has its own working folder with images of its own.
make_station 5000 1500 0
for slot in a b; do
  mkdir -p "$WORK/$slot" && cp -r "$WORK/KX30T" "$WORK/$slot/"
  head -c 7000 /dev/urandom >"$WORK/$slot/KX30T/系统安装/boot.bin"
  head -c 2100 /dev/urandom >"$WORK/$slot/KX30T/系统安装/kernel.bin"
done
printf '[net]\nbind=vethB\n' >"$WORK/b/tovar.cfg"

for slot in a b; do
  ns=$NS_A; [ $slot = b ] && ns=$NS_B
  ip netns exec "$ns" "$BOARD" --transfer-only --udp-ip 10.200.0.2 --udp-port 1000 --store-dir "$WORK/store-$slot" \
    --quiet --idle-exit-s 120 >"$WORK/board-$slot.txt" 2>&1 &
  PIDS+=($!)
done
for slot in a b; do
  for _ in $(seq 100); do grep -q "udp=10.200.0.2:1000" "$WORK/board-$slot.txt" && break; sleep 0.05; done
  grep -q "udp=10.200.0.2:1000" "$WORK/board-$slot.txt" || { cp "$WORK/board-$slot.txt" "$WORK/out.txt"; fail "board $slot did not start"; }
done

transfer() {  # SLOT [OPTIONS...]
  local slot=$1; shift
  hostns timeout 60 "$TOVAR" transfer --workdir "$WORK/$slot" --select 0,1 --board-ip 10.200.0.2 --board-port 1000 \
    --local-port 1000 --settle-ms 0 --reply-timeout-ms 300 --store-timeout-ms 2000 --no-record --quiet "$@" \
    >"$WORK/out-$slot.txt" 2>&1
}
transfer a --bind vethA & pid_a=$!
transfer b & pid_b=$!
rc_a=0; wait $pid_a || rc_a=$?
rc_b=0; wait $pid_b || rc_b=$?
for slot in a b; do
  rc=$rc_a; [ $slot = b ] && rc=$rc_b
  cp "$WORK/out-$slot.txt" "$WORK/out.txt"
  [ "$rc" -eq 0 ] || fail "slot $slot: exit status $rc, expected 0"
  for pair in boot.bin:1 kernel.bin:2; do
    cmp -s "$WORK/$slot/KX30T/系统安装/${pair%:*}" "$WORK/store-$slot/${pair#*:}.bin" ||
      fail "board $slot did not store slot $slot's ${pair%:*}"
  done
done
echo "netns_bind: ok"
