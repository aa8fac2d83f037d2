#!/usr/bin/env bash
# The image transfer against the virtual board at 0, 1 and 5 % reply loss: tovar transfer of one
# image, its rate in MB/s and whether the stored file equals the image byte for byte.
#   bench/loss_transfer.sh [BUILD_DIR] [MIB]     (defaults: build, 2)
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
MIB=${2:-2}
WORK=$(mktemp -d)
BOARD_PID=""
trap '[ -n "$BOARD_PID" ] && kill "$BOARD_PID" 2>/dev/null; rm -rf "$WORK"' EXIT
mkdir -p "$WORK/KX30T/系统安装" "$WORK/store"
printf '[COUNT]\r\ncount=1\r\n[Startup]\r\nid=1\r\nname=image.bin\r\n' >"$WORK/KX30T/config.cfg"
head -c $((MIB * 1048576)) /dev/urandom >"$WORK/KX30T/系统安装/image.bin"

printf '%-6s %10s %8s %8s  %s\n' "loss" "seconds" "MB/s" "resends" "stored"
for loss in 0 1 5; do
  rm -f "$WORK/store"/*
  coproc BOARD { exec "$BUILD/tovar-board" --transfer-only --udp-port 0 --store-dir "$WORK/store" --quiet \
    --idle-exit-s 300 --loss "$loss" --seed 11; }
  BOARD_PID=$BOARD_PID
  read -r -t 10 line <&"${BOARD[0]}"
  port=$(sed -E 's/.*udp=127\.0\.0\.1:([0-9]+).*/\1/' <<<"$line")
  start=$(date +%s.%N)
  "$BUILD/tovar" transfer --workdir "$WORK" --board-ip 127.0.0.1 --board-port "$port" --local-port 0 \
    --settle-ms 0 --json - >"$WORK/result.json" 2>/dev/null || true
  end=$(date +%s.%N)
  kill "$BOARD_PID" 2>/dev/null || true
  wait "$BOARD_PID" 2>/dev/null || true
  BOARD_PID=""
  resends=$(grep -o '"resends":[0-9]*' "$WORK/result.json" | head -n 1 | cut -d: -f2)
  same=no
  cmp -s "$WORK/store/1.bin" "$WORK/KX30T/系统安装/image.bin" && same=yes
  awk -v l="$loss" -v s="$start" -v e="$end" -v m="$MIB" -v r="${resends:-?}" -v ok="$same" \
    'BEGIN { t = e - s; printf "%-6s %10.2f %8.3f %8s  %s\n", l " %", t, m * 1.048576 / t, r, ok }'
done
