# The two commands: `make demo` runs the program, `make test` runs every test.
NATIVE := build/native
WIN := build/win
FUZZ := build/fuzz
JOBS := $(shell nproc)
FUZZ_SECONDS ?= 60

DIST := build/dist
BENCH := build/bench

.PHONY: setup test demo native win fuzz-build fuzz fuzz-seeds traces expected expected-disks \
  dist bench clean

setup:
	@bash tools/setup.sh

native: setup
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

win: setup
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

fuzz-build: setup
	@cmake -S tests/fuzz -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS)

test: native win fuzz-build
	@cd $(NATIVE) && ctest --output-on-failure
	@cd $(WIN) && ctest --output-on-failure
	@cd $(FUZZ) && ctest --output-on-failure

demo: win
	@bash tools/demo.sh $(WIN)

# Every fuzz target for FUZZ_SECONDS (or FUZZ_RUNS runs), growing $(FUZZ)/corpus.
fuzz: fuzz-build
	@bash tools/fuzz.sh $(FUZZ) $(FUZZ_SECONDS) campaign

# Rewrites the committed seeds from the lab, after the lab or an input format changed.
fuzz-seeds: fuzz-build
	@bash tools/fuzz_seeds.sh $(FUZZ)/make_seeds write

# Records the trace fixtures of tests/traces from their simulated machines again.
traces: native
	@bash tools/traces.sh $(NATIVE)/make_traces write

# Writes every output on record again (tests/expected): the console's, natively, and the
# window's Copy report of the lab, under Wine. A commit that changes one says why.
expected: native win
	@python3 tests/expected/expected.py write $(NATIVE)/host_report
	@TESSAREL_WRITE_EXPECTED=1 tools/wine-run.sh $(CURDIR)/$(WIN)/wineprefix $(WIN)/ui_tests.exe \
	  --gtest_brief=1 --gtest_filter=ReportExportTest.LabReportIsFixedWidthWithLineFeedsOnly >/dev/null

# Makes the disk files on record again (tests/expected/disks.tar.xz), after a shape is added.
expected-disks: setup
	@python3 tests/expected/make_disks.py write

# The console scan on simulated machines of 16 to 4,032 volumes, and what each disk file
# format costs to check at its largest size, unsanitized.
bench: setup
	@cmake -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release -DTESSAREL_SANITIZE=OFF >/dev/null
	@cmake --build $(BENCH) -j $(JOBS) --target scan_bench host_report
	@$(BENCH)/scan_bench
	@python3 tests/bench/image_costs.py $(BENCH)/host_report

# The release: dist/Tessarel-<version>-win32.zip and dist/SHA256SUMS.
dist: setup
	@cmake -S . -B $(DIST) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(DIST) -j $(JOBS) --target Tessarel TessarelReport
	@python3 tools/make_dist.py $(DIST) dist

clean:
	rm -rf build dist
