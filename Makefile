# Set-up, build, demo and tests. Each target first installs the Debian packages that are missing.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: deps configure build demo test bench docs clean

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	./$(BUILD)/bin/qcore-demo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DQCORE_BUILD_TESTS=OFF
	cmake --build $(BUILD)-release -j$(JOBS)
	for b in $(BUILD)-release/bin/*_bench; do $$b --benchmark_min_time=0.05 || exit 1; done

docs: deps
	./scripts/make-docs.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-release $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz
