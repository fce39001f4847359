# Two entry points: `make run` builds the window and opens Velmora on the
# bundled dictionary; `make test` builds everything and runs every test,
# including a build of the non-Qt libraries under AddressSanitizer and UBSan,
# and builds and checks the Debian package. `make deb` builds the package.
# Neither needs sudo: scripts/bootstrap asks for it only to install missing
# Debian packages.
JOBS ?= $(shell nproc)
BUILD ?= build
TEST_BUILD ?= build-test
SAN_BUILD ?= build-san
TSAN_BUILD ?= build-tsan
DEB_BUILD ?= build-deb
CMAKE_FLAGS ?=
# The test builds are where we know the compiler: warnings are errors there,
# and the main one is a Release build (-O3), which sees warnings -O2 does not.
STRICT_FLAGS = -DVELMORA_WERROR=ON

.PHONY: all bootstrap bootstrap-deb build build-san deb test test-main test-san test-tsan \
        test-deb format-check run clean

all: build

bootstrap:
	@scripts/bootstrap

bootstrap-deb:
	@scripts/bootstrap deb

# Configuring again when the Makefile changes brings its flags to old folders.
$(BUILD)/build.ninja: Makefile
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	@touch $@

build: bootstrap $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Only the window and the terminal lookup that scripts/run shows without a
# display; no tests, no benchmarks.
run: bootstrap $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target velmora velmora-lookup
	@scripts/run

# It makes the man pages too, so that test-deb packages this build.
$(TEST_BUILD)/build.ninja: Makefile
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(STRICT_FLAGS) \
	  -DVELMORA_MANPAGES=ON $(CMAKE_FLAGS)
	@touch $@

test-main: bootstrap-deb $(TEST_BUILD)/build.ninja
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

$(SAN_BUILD)/build.ninja: Makefile
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug $(STRICT_FLAGS) \
	  -DVELMORA_WITH_QT=OFF -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF
	@touch $@

build-san: bootstrap $(SAN_BUILD)/build.ninja
	cmake --build $(SAN_BUILD) -j $(JOBS)

test-san: build-san
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Only the thread and painter tests run under ThreadSanitizer.
$(TSAN_BUILD)/build.ninja: Makefile
	cmake -S . -B $(TSAN_BUILD) -G Ninja $(STRICT_FLAGS) -DVELMORA_WITH_QT=OFF \
	  -DVELMORA_TSAN=ON -DVELMORA_BENCH=OFF
	@touch $@

test-tsan: bootstrap $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target velmora_threads_tests velmora_gif_painter_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/platform/classes/velmora_threads_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/gif/render/velmora_gif_painter_tests

# The Debian package of the test build: it builds, and lintian finds no error.
test-deb: test-main
	scripts/package-deb $(TEST_BUILD)

# A Release build of what the package holds (no tests, no benchmarks), then
# the package, checked as in test-deb: $(DEB_BUILD)/velmora_*.deb.
$(DEB_BUILD)/build.ninja: Makefile
	cmake -S . -B $(DEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DVELMORA_BENCH=OFF -DVELMORA_MANPAGES=ON $(CMAKE_FLAGS)
	@touch $@

deb: bootstrap-deb $(DEB_BUILD)/build.ninja
	cmake --build $(DEB_BUILD) -j $(JOBS)
	scripts/package-deb $(DEB_BUILD)

# Sources keep the project's .clang-format style.
format-check: bootstrap
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

test: format-check test-main test-san test-tsan test-deb

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(DEB_BUILD)
