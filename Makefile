# Thin front door over CMake presets. Every target installs what is missing first.
JOBS ?= $(shell nproc)
# Seconds per fuzz target in `make test`; run longer by hand after touching a parser.
FUZZ_SECONDS ?= 10

# With ccache installed, every preset compiles through it; the base directory and an
# unhashed working directory let a fresh clone anywhere on the machine reuse the objects.
# The launcher is looked up when a recipe runs, after `deps` has installed ccache, so the
# first `make test` on a fresh machine caches too.
LAUNCHER = $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
# -Werror stays out of the cache key: the release preset's objects (compiled with it, so
# free of warnings) then serve the plain GCC build, which has the same flags without it.
# scripts/build-plain.sh only reads the cache, so an object that compiled with warnings
# never serves a -Werror build.
export CCACHE_IGNOREOPTIONS ?= -Werror

.PHONY: all deps build demo test test-release test-asan test-tsan test-fuzz test-install test-plain coverage bench format clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake --preset release $(LAUNCHER) >/dev/null
	@cmake --build --preset release -j $(JOBS)

demo: build
	@bash scripts/demo.sh build/release

test: deps test-release test-asan test-tsan test-fuzz test-install test-plain

test-release: build
	@ctest --preset release -j $(JOBS)

test-asan: deps
	@cmake --preset asan $(LAUNCHER) >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# Where threads meet: collections searched from many threads (files and PostgreSQL), the
# index builder's workers.
test-tsan: deps
	@cmake --preset tsan $(LAUNCHER) >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/qelshare_tests --gtest_brief=1 \
	  --gtest_filter='Collection.*:LeafRules.*:IndexSegment.*'
	@TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/qelshare_pg_tests --gtest_brief=1 \
	  --gtest_filter='PgSearch.Threads*'

test-fuzz: deps
	@cmake --preset fuzz $(LAUNCHER) >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@bash scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS) $(JOBS)

test-install: build
	@bash scripts/test-install.sh build/release

# A packager's plain Release configure (no presets, warnings not fatal), GCC and clang.
test-plain: deps
	@bash scripts/build-plain.sh $(JOBS)

# Line and branch coverage of the library and the hosts over every test (GCC, -O0). Not part
# of `make test`: the instrumented build is a full build of its own. Counters of an earlier
# run go first, or the build's test listing warns about the objects it rebuilt.
coverage: deps
	@cmake --preset coverage $(LAUNCHER) >/dev/null
	@find build/coverage -name '*.gcda' -delete
	@cmake --build --preset coverage -j $(JOBS)
	@bash scripts/coverage.sh build/coverage $(JOBS)

bench: build
	@cmake --build --preset release -j $(JOBS) --target bench/all
	@bash scripts/run-bench.sh build/release

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
