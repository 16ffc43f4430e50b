# Two commands on a fresh Debian 12 machine: `make demo` and `make test`.
JOBS ?= $(shell nproc)
HOST := build/host
WIN32 := build/win32
SAN := build/sanitize

.PHONY: all deps build host win32 sanitize test test-host test-sanitize test-win32 demo fuzz bench screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps host win32

host:
	@cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(HOST) -j $(JOBS)

win32:
	@cmake -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN32) -j $(JOBS)

# Unit tests under ASan/UBSan plus short fuzz runs, built with clang.
sanitize:
	@CC=clang CXX=clang++ cmake -S . -B $(SAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DZAROZA_SANITIZE=ON -DZAROZA_FUZZ=ON >/dev/null
	@cmake --build $(SAN) -j $(JOBS)

test: deps host win32 sanitize
	@$(MAKE) --no-print-directory test-host test-sanitize test-win32

test-host:
	ctest --test-dir $(HOST) --output-on-failure -j $(JOBS)

test-sanitize:
	ctest --test-dir $(SAN) --output-on-failure -j $(JOBS)

test-win32:
	bash scripts/test-win32.sh

demo: deps host win32
	bash scripts/demo.sh

fuzz: deps sanitize
	bash scripts/fuzz.sh $(SAN)

# Every window in English and Japanese, as PNG files in build/screenshots/.
screenshots: deps win32
	bash scripts/screenshots.sh

bench: host win32
	@bash scripts/install-deps.sh --bench
	bash bench/decode.sh
	bash bench/extract.sh
	bash bench/encode.sh

clean:
	rm -rf build
