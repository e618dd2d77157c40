# Thin wrapper over CMake; the build folder is build/.
# `make run` and `make test` first install the Debian packages that are missing.

BUILD ?= build
# The audio library's tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer; only what they need is built there.
ASAN_BUILD ?= build-asan
AUDIO_TESTS = audio_test audio_stream_test audio_device_test audio_dsp_test
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-asan bench deb clean format

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-player $(BUILD)/app/velotune

test: build
	@scripts/run-tests $(BUILD)
	@$(MAKE) --no-print-directory test-asan

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DVELOTUNE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target $(AUDIO_TESTS)
	@scripts/run-tests $(ASAN_BUILD) tests/audio

# Benchmarks are built by `make build` but run only here. They also need the
# programs they compare with (scripts/bench-packages), which `make test` does not.
bench: build
	@scripts/install-deps scripts/bench-packages
	@$(BUILD)/bench/stream_bench
	@$(BUILD)/bench/dsp_bench
	@$(BUILD)/bench/broadcast_bench
	@$(BUILD)/bench/player_bench
	@$(BUILD)/bench/webstream_bench

# The Debian package, build/velotune_<version>_<arch>.deb.
deb: build
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD)
