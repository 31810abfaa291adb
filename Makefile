# veilcap: `make run` anonymizes the bundled sample trace, `make test` runs
# every test. Both install missing Debian packages first.

BUILD_DIR   ?= build
BUILD_TYPE  ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS        ?= $(shell nproc)

.PHONY: all deps configure build run test bench fuzz clean

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
	@bench/run-bench --build build-bench $(BENCH_FLAGS)

# libFuzzer targets (clang, ASan+UBSan) in their own build folder, each run
# for FUZZ_SECONDS; see fuzz/run.sh and docs/robustness.md.
FUZZ_SECONDS ?= 60
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_TARGETS ?= trace trace_header settings primitive

fuzz:
	@scripts/install-deps
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEILCAP_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD_DIR) -j$(JOBS) $(addprefix --target fuzz_,$(FUZZ_TARGETS))
	@fuzz/run.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD_DIR) build-bench
