# The two commands of the README:
#   make demo   builds build/quillet and runs it on the bundled sample log
#   make test   installs what is missing, builds both programs, runs every test
.PHONY: demo test build build-win32 bench deps clean fuzz

JOBS ?= 2

demo:
	@tools/demo.sh

test:
	@tools/test.sh

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build -j$(JOBS)

build-win32:
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686-posix.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-win32 -j$(JOBS)

# Runs every fuzz target for FUZZ_SECONDS (default 60) from its seed corpus.
fuzz:
	@tools/fuzz.sh

bench:
	@tools/bench/run.sh

deps:
	@tools/install-deps.sh

clean:
	rm -rf build build-win32 build-asan build-fuzz
