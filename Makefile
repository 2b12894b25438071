# make test   installs what is missing, configures, builds and runs every test.
# make build  configures and builds only.
# make bench  builds and runs the benchmarks.
# make demo   creates a sample table in scratch/demo and prints its statistics.
# make package builds the Debian package build/snyltdyr_VERSION_ARCH.deb (CPack).
# make run    starts the program over a sample table in scratch/data (headless: a
#             screenshot under a virtual display).
# make fuzz   builds the fuzz targets (clang, libFuzzer, sanitizers) and runs each for
#             FUZZ_SECONDS seconds (default 60).
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: test build deps bench demo run fuzz clean package

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

package: build
	cmake --build $(BUILD) --target package

deps:
	@bash scripts/install-deps.sh

bench: build
	cmake --build $(BUILD) --target benchmarks
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

demo: build
	rm -rf scratch/demo
	$(BUILD)/app/snyltdyr-cli create-sample scratch/demo --records 500 --seed 1
	$(BUILD)/app/snyltdyr-cli stats scratch/demo --kind haptor --funn

run: build
	@bash scripts/run.sh

fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-fuzz
