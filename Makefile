# Set-up and everyday commands. Each target installs the Debian packages it
# needs first (tools/install-deps), so both work on a fresh Debian 12 machine.

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
PACKAGE_BUILD ?= build-package
WINDOWS_BUILD ?= build-windows

.PHONY: all deps build run test test-debug test-asan test-tsan package bench bench-windows fuzz format clean windows test-windows dist

all: build

deps:
	tools/install-deps base app

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD) -j $(JOBS)

# Runs Corvane on a copy of the sample library bundled in sample/.
run: build
	tools/run-sample $(BUILD)

test: test-debug test-asan test-tsan test-windows

test-debug: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# The checks with several workers, under ThreadSanitizer: only the tests that
# run the pipeline, to keep it quick.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCORVANE_TSAN=ON -DCORVANE_BUILD_APP=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target pipeline_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -R '^Pipeline\.'

# A release build packed as build-package/corvane_<version>_<arch>.deb, with
# the compiler and linker flags Debian builds its own packages with.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package:
	tools/install-deps base app package
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB

# Corvane.exe and corvane-cli.exe, cross-built with mingw-w64.
windows:
	tools/install-deps base windows
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The Linux .deb and, beside it, corvane-<version>-windows-x64.zip.
dist: package windows
	cmake -S . -B $(WINDOWS_BUILD) -DCORVANE_DIST_DIR=$(abspath $(PACKAGE_BUILD))
	cmake --build $(WINDOWS_BUILD) --target dist

# The Windows build's tests under Wine. The Wine prefix boots while the
# build runs.
test-windows:
	tools/install-deps base windows
	mkdir -p $(WINDOWS_BUILD)
	tools/wine-env start $(WINDOWS_BUILD)/wine >/dev/null 2>&1 & boot=$$!; \
	$(MAKE) --no-print-directory windows; status=$$?; \
	wait $$boot; \
	if [ $$status -eq 0 ]; then \
	  (cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)); status=$$?; \
	fi; \
	tools/wine-env stop $(WINDOWS_BUILD)/wine; exit $$status

bench:
	bench/run

# A long delete in Corvane.exe's dialog and in corvane-cli.exe, under Wine.
bench-windows:
	tools/install-deps base windows
	bench/windows-delete

fuzz:
	fuzz/run

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(PACKAGE_BUILD) $(WINDOWS_BUILD) build-release build-fuzz
