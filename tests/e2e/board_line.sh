#!/usr/bin/env bash
# tovar-board --boards 2: two jobs one after the other on the same line and port; each board is a
# fresh one at its boot monitor and keeps its own files.
source "$(dirname "$0")/lib/station.bash" "$1"
make_station 5000 1500 0
start_board --boards 2 --swap-delay-ms 300

# job N FACTORY MAC: one flash job on COM9 with its own identity and its own kernel.bin; keeps a
# copy of what it sent in sent<N>/.
job() {
  head -c 3000 /dev/urandom >"$IMAGES/kernel.bin"
  RC=0
  timeout 120 "$TOVAR" flash --port COM9 --mac "$3" --factory "$2" --reg 5A3C0001 --workdir "$WORK" \
    --ports "$WORK/ports.cfg" --board-ip 127.0.0.1 --board-port "$BOARD_UDP" --local-port 0 \
    --settle-ms 100 --reply-timeout-ms 100 --job-timeout-s 20 --no-record --quiet >"$WORK/out.txt" 2>&1 || RC=$?
  expect_rc 0
  expect_line "Chip ID match."   # brought up through the boot monitor, not found at its console
  mkdir "$WORK/sent$1" && cp "$IMAGES"/*.bin "$WORK/sent$1/"
}

# board_has K: board K stored the images of job K.
board_has() {
  local name id=1
  for name in boot.bin kernel.bin rootfs.bin; do
    cmp -s "$WORK/sent$1/$name" "$WORK/store/board$1/$id.bin" || fail "board $1 did not store its $name as $id.bin"
    id=$((id + 1))
  done
}

job 1 11110001 '^587675010202^587675010203'
# The second board is in place once its folder exists.
for _ in $(seq 200); do [ -d "$WORK/store/board2" ] && break; sleep 0.05; done
[ -d "$WORK/store/board2" ] || fail "the finished board was not swapped"
job 2 11110002 '^587675010204^587675010205'

board_has 1
board_has 2
[ ! -e "$WORK/store/board3" ] || fail "a third board appeared on a line of two"
stop_board
echo "board_line: ok"
