# make play: build zok and play the game in game/.
# make test: build and run every test, normally and under the sanitizers.
# make install: install zok, zokc, their manual pages, the bundled game and
# the editor files under PREFIX (default /usr/local).
# make bench: build the benchmarks in release mode and run them.
PREFIX ?= /usr/local
.PHONY: play test bench deps build build-san install clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j2

build-san: deps
	cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DZOK_SANITIZE=ON
	cmake --build build-san -j2

play: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j2 --target zok
	@scripts/play-quietly ./build/zok

test: build build-san
	@echo "== tests: normal build"
	cd build && ctest --output-on-failure -j2
	@echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build"
	cd build-san && ctest --output-on-failure -j2

install: build
	cmake --install build --prefix "$(PREFIX)"

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZOK_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j2 --target zok_bench startup_bench zokc_check_bench zokc
	./build-bench/bench/zok_bench
	./build-bench/bench/startup/startup_bench
	cmake --build build-bench --target explore_bench
	./build-bench/bench/check/zokc_check_bench

clean:
	rm -rf build build-san build-bench
