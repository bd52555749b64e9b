# Thin wrapper over CMake. `make run` starts the server in a fresh copy of demo/ under build/,
# `make test` runs every test, `make test-sanitize` runs them again under ASan and UBSan.
JOBS ?= 2

.PHONY: deps build run test test-sanitize format clean replay-speed replay-check

deps:
	@bash scripts/deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build -j $(JOBS)

run: build
	rm -rf build/demo-run
	cp -r demo build/demo-run
	cd build/demo-run && ../rvserver

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRV_SANITIZE=ON >/dev/null
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure -j $(JOBS)

# Times rvreplay on a one-hour event of 20 drivers at 60 updates/s (about 4.3 million messages).
replay-speed: build
	rm -rf build/replay-speed
	build/tests/replay_sample build/replay-speed
	build/tools/rvreplay --dir build/replay-speed

# Records a short event on a live server, replays it and compares the logs and results files.
replay-check: build
	bash scripts/replay-check.sh build

format:
	find src tests tools -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize
