# make test   installs what is missing, configures, builds and runs every test.
# make build  configures and builds only.
# make bench  builds and runs the benchmarks.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: test build deps bench clean

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@bash scripts/install-deps.sh

bench: build
	cmake --build $(BUILD) --target benchmarks
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD)
