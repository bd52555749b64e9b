#!/usr/bin/env bash
# The demo event with simulated drivers: the server on the short demo configuration in
# build/demo-event, five rvbot drivers lapping at slightly different speeds, and rvlive on
# http://127.0.0.1:8080/. Ends after the race (about five minutes) or on Ctrl+C; stops only the
# processes it started.
set -euo pipefail
cd "$(dirname "$0")/../../build"
if [ ! -x ./rvbot ]; then
    echo "make demo needs build/rvbot (the simulated drivers)" >&2
    exit 1
fi
rm -rf demo-event
cp -r ../demo demo-event
cp ../tools/demo/rvservercfg.ini demo-event/cfg/rvservercfg.ini
./rvcheck demo-event
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
(cd demo-event && exec ../rvserver > console.txt) & pids+=($!)
for attempt in $(seq 1 30); do
    ./rvquery 127.0.0.1:6666 --timeout 200 >/dev/null 2>&1 && break
    sleep 0.2
done
./rvlive --dir demo-event --port 8080 & pids+=($!)
echo "live timing: http://127.0.0.1:8080/"
# Five drivers whose laps of about 30 s differ by up to 3 % each time round.
./rvbot --port 6666 --drivers 5 --lap-time 30 --lap-spread 0.03 --admit-wait 30 --duration 420 \
    > demo-event/rvbot.txt & pids+=($!)
# Practice and qualifying take a minute each, with 10 s waits; the race 3 laps after a 20 s wait.
for second in $(seq 1 420); do
    sleep 1
    ls demo-event/server/sessions/*Race*.txt >/dev/null 2>&1 && break
done
./rvresults demo-event --html demo-event/results.html
echo "results: build/demo-event/server/sessions/, page: build/demo-event/results.html"
