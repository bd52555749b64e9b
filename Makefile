# Thin wrapper over CMake. `make run` starts the server in a fresh copy of demo/ under build/,
# `make demo` runs the short demo event with simulated drivers and its live page,
# `make test` runs every test, `make test-sanitize` runs them again under ASan and UBSan,
# `make bench` measures the server against the reference relay (BENCH_SECONDS per point),
# `make bench-live` rvlive with 500 stream viewers,
# `make package` builds the Debian package into build/ and `make package-check` tries it.
JOBS ?= 2

.PHONY: deps build run demo test test-sanitize bench bench-bans bench-live bench-league fuzz soak replay-speed replay-check kill-test format clean \
	package package-check

# The build's own chatter goes to build/build.log; only a failure shows it, by its last lines.
BUILD_LOG = build/build.log
quietly = @mkdir -p build; ( $(1) ) >$(BUILD_LOG) 2>&1 || { tail -n 40 $(BUILD_LOG); \
	echo "build failed; the whole output is in $(BUILD_LOG)"; exit 1; }

deps:
	@bash scripts/deps.sh

build: deps
	$(call quietly,cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build build -j $(JOBS))

run: build
	@rm -rf build/demo-run
	@cp -r demo build/demo-run
	@cd build/demo-run && ../rvserver

# The Debian package (build/rvserver_VERSION_ARCH.deb), and its check: the file list, the unit,
# the programs run from the unpacked package, lintian, and the same list from a second build.
package: build
	$(call quietly,cmake --build build --target package -j $(JOBS))
	@ls build/*.deb

package-check: package
	bash scripts/package-check.sh build

# The demo event with five simulated drivers (build/rvbot) and the live page on port 8080.
demo: build
	@bash tools/demo/run-demo.sh

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRV_SANITIZE=ON >/dev/null
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure -j $(JOBS)

BENCH_SECONDS ?= 20
BENCH_LABEL ?= latest
bench: build
	build/rvbench --seconds $(BENCH_SECONDS) --label $(BENCH_LABEL) --server build/rvserver \
		--relay build/rvrelay --demo demo --out bench/results

# The ban list's file and admission lookups with BANS entries, against a plain scan.
BANS ?= 100000
bench-bans: build
	build/rvbanbench --bans $(BANS)

# rvlive with LIVE_VIEWERS stream viewers of one event that changes every second, against no viewers.
LIVE_VIEWERS ?= 500
bench-live: build
	build/rvlivebench --rvlive build/rvlive --viewers $(LIVE_VIEWERS) --seconds $(BENCH_SECONDS) \
		--out bench/results/live.txt

# The league database under a generated league of LEAGUE_EVENTS events x 3 sessions x 20 drivers
# x 30 laps, on SQLite and on a private PostgreSQL cluster. LEAGUE_EVENTS=1000 is the full run
# (1.8 million laps, about half an hour on two cores); the default is a tenth of it.
LEAGUE_EVENTS ?= 100
bench-league: build
	bash bench/league-bench.sh build $(LEAGUE_EVENTS) bench/results/league-$(LEAGUE_EVENTS).txt

# Floods of each kind against the drivers' cadence, then 32 drivers on a lossy link.
SOAK_SECONDS ?= 600
FLOOD_SECONDS ?= 10
soak: build
	build/rvsoak --server build/rvserver --demo demo --seconds $(SOAK_SECONDS) \
		--flood-seconds $(FLOOD_SECONDS)

# Each fuzz target runs FUZZ_SECONDS from the saved inputs under tests/fuzz/<target>; a finding
# stops the run and leaves its input in build-fuzz/ (copy it into tests/fuzz/<target>/).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = UnknownSenderFuzz ClientMessageFuzz ReliableFuzz ConfigurationFuzz RecordingFuzz
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DRV_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	set -e; for t in $(FUZZ_TARGETS); do \
		mkdir -p build-fuzz/corpus/$$t; \
		build-fuzz/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=1024 -print_final_stats=1 \
			-artifact_prefix=build-fuzz/$$t- build-fuzz/corpus/$$t tests/fuzz/$$t; \
	done

# Times rvreplay on a one-hour event of 20 drivers at 60 updates/s (about 4.3 million messages).
replay-speed: build
	rm -rf build/replay-speed
	build/replay_sample build/replay-speed
	build/rvreplay --dir build/replay-speed

# Records a short event on a live server, replays it and compares the logs and results files.
replay-check: build
	bash scripts/replay-check.sh build

# Kills a running event with SIGKILL at KILLS random moments and starts it again in the same
# folder: every file must read whole, every kept recording must replay.
KILLS ?= 100
kill-test: build
	bash scripts/kill-test.sh build $(KILLS)

format:
	find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize build-fuzz
