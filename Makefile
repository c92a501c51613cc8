# The front door. `make test` is what CI runs; `make demo` shows the tool;
# `make package` makes the .deb and the Windows zip (`make deb`, `make zip`
# one of them).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
# Each target installs the groups of packages it runs (see the script).
DEPS := bash scripts/install-deps.sh

.PHONY: all deps test bench demo package deb zip format clean

all: test

deps:
	@$(DEPS)

# win64-test is built before the debug suite runs: its e2e_wine test runs
# that tree's Tolvane.exe and driver.
test:
	@$(DEPS) linux windows
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)
	cmake --preset win64-test
	cmake --build --preset win64-test -j $(JOBS)
	ctest --preset debug -j $(JOBS)
	cmake --preset win32-release
	cmake --build --preset win32-release -j $(JOBS)
	bash scripts/inspect-exe.sh --pe32 --subsystem gui --resources build/win32-release/src/ui/win32/Tolvane.exe
	bash scripts/wine-ctest.sh build/win64-test --output-on-failure --no-tests=error -j $(JOBS)

bench:
	@$(DEPS) linux
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# The terminal dialog on the virtual PC (a virtual adapter in real time).
demo:
	@$(DEPS) linux
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS) --target tolvane
	build/debug/src/ui/tolvane --simulate

# Under build/: tolvane_<version>_<arch>.deb from the `deb` preset and
# Tolvane-<version>-win32.zip from `win32-release`, each checked. The .deb
# needs neither mingw-w64 nor Wine.
package:
	@$(MAKE) --no-print-directory deb
	@$(MAKE) --no-print-directory zip

deb:
	@$(DEPS) linux package
	cmake --preset deb
	cmake --build --preset deb -j $(JOBS)
	cpack --preset deb
	bash scripts/check-packages.sh --deb build

zip:
	@$(DEPS) linux windows package
	cmake --preset win32-release
	cmake --build --preset win32-release -j $(JOBS)
	cpack --preset win32-zip
	bash scripts/check-packages.sh --zip build

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
