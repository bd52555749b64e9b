#!/usr/bin/env bash
# Kills a running event with SIGKILL at random moments and starts it again in the same folder, as
# the service unit does after a crash. After each kill every results and profile file must read
# whole, and rvreplay must rebuild the killed run from the recording the restart kept.
# Usage: scripts/kill-test.sh [BUILD_DIR] [KILLS] [SEED]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kills=${2:-100}
RANDOM=${3:-1}
dir=$build/kill-test
rm -rf "$dir"
port=$((20000 + $$ % 20000))
# The check event (a 2-lap race after a 3 s wait), looped, so results files come and go.
"$build/replay_check" setup "$dir" "$port"
sed -i 's/^LOOP=0/LOOP=1/' "$dir/cfg/rvservercfg.ini"
server=""
bots=""
replayed=0
trap 'kill -9 $server $bots 2>/dev/null || true' EXIT
fail() {
    echo "kill-test: after kill $1: $2" >&2
    exit 1
}
for i in $(seq "$kills"); do
    # A fresh register each time, so profiles are being written while the drivers join.
    rm -f "$dir"/server/users/*.rvuser
    (cd "$dir" && XDG_DOCUMENTS_DIR="$dir/no-documents" exec "$build/rvserver" >>console.txt 2>&1) &
    server=$!
    "$build/rvbot" --port "$port" --drivers 3 --lap-time 5 --chat-every 1 --duration 30 \
        --admit-wait 10 >/dev/null 2>&1 &
    bots=$!
    # 0.2 to 2.2 s into the run: start-up, joins and profiles, the first flushes of the log and
    # the recording.
    moment=$((200 + RANDOM % 2000))
    sleep "$((moment / 1000)).$(printf '%03d' $((moment % 1000)))"
    kill -9 "$server"
    wait "$server" 2>/dev/null || true
    kill -9 "$bots" 2>/dev/null || true
    wait "$bots" 2>/dev/null || true
    if [ -n "$(ls "$dir"/server/sessions)" ]; then
        "$build/rvresults" "$dir" --json >"$dir/results.json" 2>"$dir/results.err" ||
            fail "$i" "rvresults: $(cat "$dir/results.err")"
    fi
    for profile in "$dir"/server/users/*.rvuser; do
        [ -e "$profile" ] || continue
        [ "$(cat "$profile")" = "$(basename "$profile" .rvuser)" ] || fail "$i" "torn $profile"
    done
    # The killed run before this one left a recording: this start kept it under a new name.
    kept=$(grep "The earlier recording is kept as " "$dir/console.txt" | tail -n 1 || true)
    kept=${kept#The earlier recording is kept as }
    if [ -n "$kept" ] && [ "$kept" != "${last_kept:-}" ]; then
        last_kept=$kept
        replayed=$((replayed + 1))
        rm -rf "$dir/replayed"
        "$build/rvreplay" --dir "$dir" --recording "$dir/$kept" --out "$dir/replayed/" \
            >"$dir/replay.txt" 2>&1 || fail "$i" "rvreplay $kept: $(tail -n 3 "$dir/replay.txt")"
        grep -q ",START," "$dir"/replayed/rvserverlog*.txt || fail "$i" "no event log from $kept"
    fi
done
echo "kill-test: $kills of $kills kills left every file whole; $replayed kept recordings replayed," \
    "$(ls "$dir"/server/sessions | wc -l) results files"
