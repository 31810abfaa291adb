# veilcap: `make run` anonymizes the bundled sample trace, `make test` runs
# every test. Both install missing Debian packages first.

BUILD_DIR   ?= build
BUILD_TYPE  ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS        ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS)

# The program writes its settings file back at exit, so it runs on a copy:
# tracked files never change.
run: build
	@cp examples/settings.xml $(BUILD_DIR)/settings.xml
	@cp examples/sample.pcap $(BUILD_DIR)/sample.pcap
	@cd $(BUILD_DIR) && ./veilcap settings.xml
	@echo "anonymized trace written to $(BUILD_DIR)/sample-anonymized.pcap"

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

bench:
	@scripts/install-deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVEILCAP_BENCH=ON >/dev/null
	@cmake --build build-bench -j$(JOBS)
	@build-bench/bench/bench_primitives

clean:
	rm -rf $(BUILD_DIR) build-bench
