# The two commands of the README:
#   make demo   builds build/quillet and runs it on the bundled sample log
#   make test   installs what is missing, builds both programs, runs every test
# and for users (each builds only the program and its documents, no tests):
#   make install    installs the native program, its manual page and documents
#                   under PREFIX (/usr/local), below DESTDIR when that is set
#   make uninstall  removes what make install installs, for the same PREFIX and DESTDIR
#   make deb        a Debian package of the native program (build/); needs no wine
#   make zip        a zip of Quillet.exe and its documents (build-win32/)
#   make package    both
.PHONY: demo test build build-win32 bench deps clean install uninstall deb zip package fuzz

JOBS ?= 2
PREFIX ?= /usr/local

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

# Builds only what it installs: the program and the documents it makes.
install: native-program
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

uninstall: native-program
	@tools/uninstall.sh "$(PREFIX)" "$(DESTDIR)"

deb: native-program
	cd build && cpack -G DEB

# The example INI file is written by Quillet.exe under wine: a wineserver that
# this make started for it is stopped again (one that ran before stays).
zip:
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686-posix.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@export WINEPREFIX="$(CURDIR)/build-win32/wineprefix"; mkdir -p "$$WINEPREFIX"; \
	  timeout 1 wineserver -w >/dev/null 2>&1; before=$$?; \
	  cmake --build build-win32 -j$(JOBS) --target quillet quillet_readme quillet_example_ini && \
	    (cd build-win32 && cpack -G ZIP); status=$$?; \
	  [ $$before = 124 ] || wineserver -k >/dev/null 2>&1; exit $$status

package: deb zip

.PHONY: native-program
native-program:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build -j$(JOBS) --target quillet quillet_docs

# Runs every fuzz target for FUZZ_SECONDS (default 60) from its seed corpus.
fuzz:
	@tools/fuzz.sh

bench:
	@tools/bench/run.sh

deps:
	@tools/install-deps.sh

clean:
	rm -rf build build-win32 build-asan build-tsan build-fuzz
