# Thin wrapper over CMake. `make run` starts the server in a fresh copy of demo/ under build/,
# `make demo` runs the short demo event with simulated drivers and its live page,
# `make test` runs every test, `make test-sanitize` runs them again under ASan and UBSan,
# `make bench` measures the server against the reference relay (BENCH_SECONDS per point),
# `make bench-live` rvlive with 500 stream viewers,
# `make fuzz` runs every fuzz target and prints its rates, `make endurance` a generated 24-hour event,
# `make package` builds the Debian package into build/ and `make package-check` tries it.
JOBS ?= 2

.PHONY: deps build run demo test test-sanitize bench bench-bans bench-live bench-league fuzz endurance soak replay-speed replay-check kill-test format clean \
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
# stops the run and leaves its input in build-fuzz/ (copy it into tests/fuzz/<target>/). The last
# lines give each target's inputs per second (libFuzzer's own count) and per CPU second. The server targets keep one
# server across inputs, so the per-input leak scan (a whole-heap scan after every input that
# leaves memory behind) and the entropic schedule's bookkeeping of thousands of features per
# input would set the pace: both are off here. LeakSanitizer still reports what is lost when a
# run ends, and the endurance run looks for leaks over a whole day.
FUZZ_SECONDS ?= 60
FUZZ_FLAGS ?= -detect_leaks=0 -entropic=0 -rss_limit_mb=1024
FUZZ_TARGETS = UnknownSenderFuzz ClientMessageFuzz ReliableFuzz ConfigurationFuzz RecordingFuzz \
	EventFilesFuzz ToolReplyFuzz BanListFuzz
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DRV_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	@set -e; : > build-fuzz/rates.txt; for t in $(FUZZ_TARGETS); do \
		mkdir -p build-fuzz/corpus/$$t; \
		echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
		if ! /usr/bin/time -f '%U %S' -o build-fuzz/$$t.cpu build-fuzz/fuzz/$$t \
			-max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) -print_final_stats=1 \
			-artifact_prefix=build-fuzz/$$t- build-fuzz/corpus/$$t tests/fuzz/$$t \
			> build-fuzz/$$t.log 2>&1; then tail -n 80 build-fuzz/$$t.log; exit 1; fi; \
		units=$$(sed -n 's/^stat::number_of_executed_units: *//p' build-fuzz/$$t.log); \
		printf '%-18s %8s inputs/s %10s inputs %8s inputs/CPU-s\n' $$t \
			"$$(sed -n 's/^stat::average_exec_per_sec: *//p' build-fuzz/$$t.log)" "$$units" \
			"$$(awk -v u=$$units '{ c = $$1 + $$2; printf "%d", (c > 0 ? u / c : 0) }' \
				build-fuzz/$$t.cpu)" | tee -a build-fuzz/rates.txt; \
	done; echo "fuzz targets under ASan and UBSan ($(FUZZ_SECONDS) s each; inputs/s is libFuzzer's" \
		"count over wall time, inputs/CPU-s what a target does with a core of its own):"; \
	cat build-fuzz/rates.txt

# A generated event of ENDURANCE_HOURS (32 drivers, 3 spectators, looped sessions) on the server's
# own code at full speed; checks memory, every list's length and every results file at its end
# and prints simulated hours per wall second. ENDURANCE_BUILD=build-sanitize runs it under ASan,
# UBSan and LeakSanitizer (resident memory is then not judged).
ENDURANCE_HOURS ?= 24
ENDURANCE_BUILD ?= build
endurance: deps
	@if [ "$(ENDURANCE_BUILD)" = build-sanitize ]; then \
		cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRV_SANITIZE=ON >/dev/null; \
	else cmake -S . -B $(ENDURANCE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null; fi
	cmake --build $(ENDURANCE_BUILD) --target rvendurance -j $(JOBS)
	$(ENDURANCE_BUILD)/rvendurance --hours $(ENDURANCE_HOURS) --folder $(ENDURANCE_BUILD)/endurance

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
