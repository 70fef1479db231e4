# The two commands: `make demo` runs the program, `make test` runs every test.
NATIVE := build/native
WIN := build/win
JOBS := $(shell nproc)

.PHONY: setup test demo native win clean

setup:
	@bash tools/setup.sh

native: setup
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

win: setup
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

test: native win
	@cd $(NATIVE) && ctest --output-on-failure
	@cd $(WIN) && ctest --output-on-failure

demo: win
	@bash tools/demo.sh $(WIN)

clean:
	rm -rf build
