#!/usr/bin/env bash
# tovar-board as a program: its first line, its link, a file stored over UDP, and its end with its parent.
set -euo pipefail
BUILD=$(cd "${1:?build dir}" && pwd)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The board's parent is a shell that ends once the checks are done; the board must end with it.
bash -c '"$0" --booted --udp-port 0 --store-dir "$1/store" --link "$1/tty" --quiet > "$1/out" &
         echo $! > "$1/pid"
         while [ ! -e "$1/done" ]; do sleep 0.05; done' "$BUILD/tovar-board" "$TMP" &
PARENT=$!
for _ in $(seq 100); do [ -s "$TMP/out" ] && break; sleep 0.05; done
LINE=$(head -n1 "$TMP/out")
if [[ ! "$LINE" =~ ^tty=(/dev/pts/[0-9]+)\ udp=127\.0\.0\.1:([0-9]+)\ link=(.+)$ ]]; then
  echo "unexpected first line: '$LINE'"; touch "$TMP/done"; exit 1
fi
TTY=${BASH_REMATCH[1]}
PORT=${BASH_REMATCH[2]}
[ "$(readlink "$TMP/tty")" = "$TTY" ] || { echo "link does not point to $TTY"; touch "$TMP/done"; exit 1; }

# The three bytes "abc" as file 2 (one last frame), then its store command.
printf '\x01\x02\x00\x00\x00\x03abc\xbe\x6a' > "/dev/udp/127.0.0.1/$PORT"
printf '\x05\x02\x00\x00\x00\x00\x79\x8e' > "/dev/udp/127.0.0.1/$PORT"
for _ in $(seq 100); do [ -f "$TMP/store/2.bin" ] && break; sleep 0.05; done
[ "$(cat "$TMP/store/2.bin" 2>/dev/null)" = abc ] || { echo "file 2 not stored"; touch "$TMP/done"; exit 1; }

# Running, and not a zombie waiting for its new parent to reap it.
alive() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }

touch "$TMP/done"
wait "$PARENT"
PID=$(cat "$TMP/pid")
for _ in $(seq 100); do alive "$PID" || break; sleep 0.05; done
if alive "$PID"; then echo "tovar-board outlived its parent"; kill "$PID"; exit 1; fi
[ ! -e "$TMP/tty" ] || { echo "link left behind"; exit 1; }
echo "tovar-board: ok"
