# Front door: every target installs what it needs first.
JOBS ?= $(shell nproc)
# Seconds each libFuzzer target runs for under `make fuzz`.
FUZZ_SECONDS ?= 60
export CCACHE_BASEDIR := $(CURDIR)

.PHONY: deps test bench fuzz clean run

deps:
	bash scripts/deps

test: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	cd build/dev && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 900

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	bash bench/run

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash tests/fuzz/run

# Starts the window program on the release build: make run ARGS=disc.iso
# (without a display it says so and points to the console front end).
run: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target quendravine
	./build/release/programs/quendravine $(ARGS)

clean:
	rm -rf build
