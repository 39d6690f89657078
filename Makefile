# Front door: every target installs what it needs first.
JOBS ?= $(shell nproc)
export CCACHE_BASEDIR := $(CURDIR)

.PHONY: deps test bench clean

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

clean:
	rm -rf build
