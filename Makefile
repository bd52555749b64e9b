# Thin wrapper over CMake. `make run` starts the server in a fresh copy of demo/ under build/,
# `make demo` runs the short demo event with simulated drivers and its live page,
# `make test` runs every test, `make test-sanitize` runs them again under ASan and UBSan.
JOBS ?= 2

.PHONY: deps build run demo test test-sanitize format clean

deps:
	@bash scripts/deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build -j $(JOBS)

run: build
	rm -rf build/demo-run
	cp -r demo build/demo-run
	cd build/demo-run && ../rvserver

# The demo event with five simulated drivers (build/rvbot) and the live page on port 8080.
demo: build
	bash tools/demo/run-demo.sh

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRV_SANITIZE=ON >/dev/null
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure -j $(JOBS)

format:
	find src tests tools -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize
