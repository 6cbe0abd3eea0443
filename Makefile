# Two commands on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, and starts the upgrader in a
#               sample release folder against the simulated terminal on loopback
#   make test   installs what is missing, builds, and runs every test
BUILD ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
SCENARIO ?= tools/terminal-sim/scenarios/sample.ini
TIME_SCALE ?= 0.1
ADDRESS ?= 127.0.0.2

.PHONY: all deps build run test test-package test-asan test-tsan fuzz-smoke fuzz soak coverage bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD)
	cmake --build $(BUILD) --target sample-release

run: build
	SCENARIO="$(SCENARIO)" TIME_SCALE="$(TIME_SCALE)" ADDRESS="$(ADDRESS)" BUILD="$(BUILD)" scripts/run-demo

# Every test runs once, in the build made with AddressSanitizer and
# UndefinedBehaviorSanitizer: the engine's, the Qt adapters' and the
# window's, the end-to-end runs against the simulated terminal, the command
# line and the package. Before it, the FTP adapter's tests under
# ThreadSanitizer, the fuzz smoke and the package of the hardened build (the
# sanitized build leaves Debian's hardening out), so that the suite's own
# summary is the last thing printed.
test: deps
	$(MAKE) --no-print-directory test-tsan
	scripts/fuzz-smoke
	$(MAKE) --no-print-directory test-package
	$(MAKE) --no-print-directory test-asan

# The package of the build `make run` and `make package` use, hardening included.
test-package: build
	cd $(BUILD) && ctest --output-on-failure -R '^package$$'


# The fuzz targets briefly (FUZZ_SECONDS each, default 4), from the
# committed seeds, as `make test` runs them.
fuzz-smoke: deps
	scripts/fuzz-smoke

# Each fuzz target for FUZZ_LONG_SECONDS (default 120), one after the
# other, growing a corpus of its own in build-fuzz/fuzz-corpus/<target>
# that starts from the committed seeds and is kept between runs.
FUZZ_LONG_SECONDS ?= 120
fuzz: deps
	FUZZ_LONG_SECONDS="$(FUZZ_LONG_SECONDS)" scripts/fuzz-long

# Three at a time: most tests wait on loopback and on timers, and each test
# that starts a server has an address of its own.
test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DORVEX_SANITIZE=ON
	cmake --build $(BUILD_ASAN)
	cd $(BUILD_ASAN) && ctest --output-on-failure --timeout 600 -j3

# The libcurl FTP adapter's tests again under ThreadSanitizer: its worker
# thread, the hand-over to the engine's thread, cancel and teardown. Builds
# only the engine, orvex_qt_core and those tests; ctest sets TSAN_OPTIONS
# (tests/tsan.supp, the first report fails). ThreadSanitizer needs its own
# layout of the address space, which the address randomisation of some
# kernels breaks ("unexpected memory mapping"), so the tests run with it off
# wherever setarch can turn it off (a container may forbid that).
NO_ASLR = $(shell setarch "$$(uname -m)" -R true >/dev/null 2>&1 && echo setarch "$$(uname -m)" -R)
test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DORVEX_TSAN=ON
	cmake --build $(BUILD_TSAN) --target orvex_curl_tests
	cd $(BUILD_TSAN) && $(NO_ASLR) ctest --output-on-failure --timeout 600

# The seeded random campaign for long runs (scripts/soak), one program a
# case in the normal build: SEEDS new seeds from FIRST_SEED (default a
# random one, printed), or SEED=N to replay one; JOBS side by side. Prints
# a table of what it drew (cases per fault kind, chain, action, server) and
# each violation's seed. `make test` runs a fixed set of seeds.
SEEDS ?= 50
JOBS ?= 1
soak: build
	SEEDS="$(SEEDS)" SEED="$(SEED)" FIRST_SEED="$(FIRST_SEED)" JOBS="$(JOBS)" BUILD="$(BUILD)" scripts/soak

# Line and branch coverage of src/ per folder, from the whole suite built with
# gcc --coverage in build-coverage (scripts/coverage; installs gcovr if missing).
coverage: deps
	scripts/coverage

# The Debian package of what `cmake --install` installs (CPack):
# build/orvex-upgrader_<version>_<arch>.deb
.PHONY: package
package: build
	cmake --build $(BUILD) --target package

# The benchmarks, in an optimised build of their own (build-bench), as one
# table: each figure against a reference measured in the same run. A
# measuring tool, not a test: nothing fails on a figure.
bench: deps
	scripts/bench

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) build-fuzz build-coverage build-bench
