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

# The sample scene is written by the project's own program, imported, and shown in the viewer: in a real
# window when a display is there, else headless for a while with the camera flying its path.
SAMPLE = $(BUILD)/sample
demo: build
	./$(BUILD)/bin/qcore-sample $(SAMPLE)
	./$(BUILD)/bin/qcore-import $(SAMPLE)/sample.obj $(SAMPLE)/sample.tpk
	@if [ -n "$$DISPLAY" ] && [ -z "$(HEADLESS)" ]; then \
	  ./$(BUILD)/bin/qcore-view $(SAMPLE)/sample.tpk --sdl; \
	else \
	  ./$(BUILD)/bin/qcore-view $(SAMPLE)/sample.tpk --frames 100 --play-path --save $(SAMPLE)/shot.jpg && \
	  echo "the last frame is in $(SAMPLE)/shot.jpg"; \
	fi

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
