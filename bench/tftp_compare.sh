#!/usr/bin/env bash
# TFTP on loopback for comparison with the image transfer: tftpd-hpa sends a file of the same size
# with 1024-byte blocks (stop-and-wait, one acknowledgement per block) to atftp.
#   bench/tftp_compare.sh [MiB] [rounds]      (needs: ./scripts/deps --bench)
# Prints MB/s (10^6 bytes per second, median of the rounds) for the sender on CPU 0 with the
# receiver on CPU 1, and for both on CPU 0.
set -euo pipefail
MIB=${1:-60}
ROUNDS=${2:-3}
for tool in in.tftpd atftp taskset; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run ./scripts/deps --bench" >&2; exit 2; }
done
DIR=$(mktemp -d /tmp/tovar-tftp-XXXXXX)
chmod 755 "$DIR"
SERVER=""
cleanup() { [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null; rm -rf "$DIR"; }
trap cleanup EXIT
head -c $((MIB * 1024 * 1024)) /dev/urandom > "$DIR/image.bin"
chmod 644 "$DIR/image.bin"
BYTES=$((MIB * 1024 * 1024))
PORT=$((20000 + RANDOM % 20000))
# Root may confine the server to the folder; otherwise the client asks for the absolute path.
if [ "$(id -u)" -eq 0 ]; then SERVE=(-s "$DIR"); REMOTE=image.bin; else SERVE=(); REMOTE="$DIR/image.bin"; fi

run_placement() {   # name sender-cpu receiver-cpu
  taskset -c "$2" in.tftpd -L -a "127.0.0.1:$PORT" "${SERVE[@]}" &
  SERVER=$!
  sleep 0.3
  local rates=()
  for _ in $(seq "$ROUNDS"); do
    local start end
    start=$(date +%s.%N)
    taskset -c "$3" atftp --option "blksize 1024" -g -r "$REMOTE" -l "$DIR/got.bin" 127.0.0.1 "$PORT" >/dev/null 2>&1
    end=$(date +%s.%N)
    cmp -s "$DIR/got.bin" "$DIR/image.bin" || { echo "transfer differs" >&2; exit 1; }
    rates+=("$(awk -v b="$BYTES" -v s="$start" -v e="$end" 'BEGIN { print b / (e - s) / 1e6 }')")
  done
  kill "$SERVER"; wait "$SERVER" 2>/dev/null || true; SERVER=""
  printf '%-24s tftp %8.1f MB/s\n' "$1" "$(printf '%s\n' "${rates[@]}" | sort -g | sed -n "$(((ROUNDS + 1) / 2))p")"
}

echo "TFTP, ${MIB} MiB, blksize 1024, median of ${ROUNDS}"
run_placement "sender CPU0, board CPU1" 0 1
run_placement "both on CPU0" 0 0
