# Thin wrapper over CMake presets. Every target first makes sure the Debian packages are there.
BUILD_DIR := build

.PHONY: all setup configure build test run demo bench fuzz format clean macos mutants package

all: build

setup:
	@scripts/setup

configure: setup
	@test -f $(BUILD_DIR)/build.ninja || cmake --preset default

build: configure
	@cmake --build --preset default

# With an Apple SDK at hand, the tests also check the macOS bundle built from it.
test: build
	@if [ -n "$${KAVELIN_MACOS_SDK:-}" ]; then scripts/macos; fi
	@ctest --preset default

# Only what the application runs: the program, its Qt module and the root-side helper.
run: configure
	@cmake --build --preset default --target kavelin kavelin_qt kavelin_bless
	@./$(BUILD_DIR)/kavelin

# The Debian package, in dist/: the programs, the Qt module, the polkit action, the desktop entry,
# the metainfo, the manual page.
package: build
	@rm -f dist/kavelin_*.deb && cpack --config $(BUILD_DIR)/CPackConfig.cmake -B dist >/dev/null
	@rm -rf dist/_CPack_Packages && ls dist/kavelin_*.deb

demo: build
	@scripts/demo

bench: build
	@scripts/bench

fuzz: setup
	@test -f build-fuzz/build.ninja || cmake --preset fuzz
	@cmake --build --preset fuzz
	@scripts/fuzz

macos:
	@scripts/macos

# Plants each fault the tests exist to find in a scratch copy and checks that the suite fails.
mutants: build
	@python3 tests/planted_faults.py $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) build-core build-fuzz build-macos dist
