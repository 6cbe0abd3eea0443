# Two commands on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, and starts the upgrader in a
#               sample release folder against the simulated terminal on loopback
#   make test   installs what is missing, builds, and runs every test
BUILD ?= build
BUILD_ASAN ?= build-asan
SCENARIO ?= tools/terminal-sim/scenarios/sample.ini
TIME_SCALE ?= 0.1
ADDRESS ?= 127.0.0.2

.PHONY: all deps build run test test-asan fuzz-smoke coverage clean

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
# line and the package. The fuzz smoke first, so that the suite's own
# summary is the last thing printed.
test: deps
	scripts/fuzz-smoke
	$(MAKE) --no-print-directory test-asan

# Three at a time: most tests wait on loopback and on timers, and each test
# that starts a server has an address of its own.
test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DORVEX_SANITIZE=ON
	cmake --build $(BUILD_ASAN)
	cd $(BUILD_ASAN) && ctest --output-on-failure --timeout 600 -j3

# The Debian package of what `cmake --install` installs (CPack):
# build/orvex-upgrader_<version>_<arch>.deb
.PHONY: package
package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) build-fuzz build-coverage
