# The front door. `make test` is what CI runs; `make demo` shows the tool.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: all deps test test-native bench demo format clean

all: test

deps:
	@bash scripts/install-deps.sh

test: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)
	ctest --preset debug -j $(JOBS)
	cmake --preset win32-release
	cmake --build --preset win32-release -j $(JOBS)
	bash scripts/inspect-exe.sh --pe32 --subsystem gui --resources build/win32-release/src/platform/win32/app/Tolvane.exe
	cmake --preset win64-test
	cmake --build --preset win64-test -j $(JOBS)
	bash scripts/wine-ctest.sh build/win64-test --output-on-failure --no-tests=error -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# The terminal dialog on the virtual PC (a virtual adapter in real time).
demo: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS) --target tolvane
	build/debug/src/platform/linux/tolvane --simulate

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
