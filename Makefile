# Thin front door over CMake presets. Every target installs what is missing first.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps build demo test test-release test-asan test-fuzz test-install test-plain bench format clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

demo: build
	@bash scripts/demo.sh build/release

test: deps test-release test-asan test-fuzz test-install test-plain

test-release: build
	@ctest --preset release -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

test-fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@bash scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

test-install: build
	@bash scripts/test-install.sh build/release

# A packager's plain Release configure (no presets, warnings not fatal), GCC and clang.
test-plain: deps
	@bash scripts/build-plain.sh $(JOBS)

bench: build
	@bash scripts/run-bench.sh build/release

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
