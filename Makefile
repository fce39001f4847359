# Two entry points: `make run` opens Velmora on the bundled dictionary,
# `make test` builds everything and runs every test, including a build of
# the non-Qt libraries under AddressSanitizer and UBSan.
JOBS ?= $(shell nproc)
BUILD ?= build
SAN_BUILD ?= build-san
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?=

.PHONY: all bootstrap build build-san test test-main test-san test-tsan format-check run clean

all: build

bootstrap:
	@scripts/bootstrap

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: bootstrap $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(SAN_BUILD)/build.ninja:
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DVELMORA_WITH_QT=OFF -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF

build-san: bootstrap $(SAN_BUILD)/build.ninja
	cmake --build $(SAN_BUILD) -j $(JOBS)

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-san: build-san
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Only the thread and painter tests run under ThreadSanitizer.
$(TSAN_BUILD)/build.ninja:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DVELMORA_WITH_QT=OFF -DVELMORA_TSAN=ON \
	  -DVELMORA_BENCH=OFF

test-tsan: bootstrap $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target threads_test painter_test
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/platform/classes/threads_test
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/gif/render/painter_test

# Sources keep the project's .clang-format style.
format-check: bootstrap
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

test: format-check test-main test-san test-tsan

run: build
	@scripts/run

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD)
