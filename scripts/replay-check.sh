#!/usr/bin/env bash
# Records a short event on a live server, replays the recording with rvreplay, and compares the
# two event logs and results files. Usage: scripts/replay-check.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
dir=$build/replay-check
rm -rf "$dir"
port=$((20000 + $$ % 20000))
"$build/replay_check" setup "$dir" "$port"
# The live server reads its configuration from the working folder only, as rvreplay does.
(cd "$dir" && XDG_DOCUMENTS_DIR="$dir/no-documents" exec "$build/rvserver" >console.txt 2>&1) &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
# Three simulated drivers: they join, chat, lap every 5 s or so until the 2-lap race is won,
# and sign off.
"$build/rvbot" --port "$port" --drivers 3 --lap-time 5 --lap-spread 0.05 --chat-every 3 \
    --duration 14 >"$dir/rvbot.txt"
# The server writes its results and closes the recording as it shuts down; give it 30 s.
kill -TERM "$server"
for _ in $(seq 300); do
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$server" 2>/dev/null; then
    echo "replay-check: the server did not stop within 30 s" >&2
    exit 1
fi
wait "$server" || true
"$build/rvreplay" --dir "$dir" >"$dir/standings.txt"
"$build/replay_check" compare "$dir" "$dir/server/replayed"
