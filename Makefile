# make play: build zok and play the game in game/.
# make test: build and run every test, normally and under the sanitizers.
# make bench: build the interpreter and zokc check benchmarks in release mode and run them.
.PHONY: play test bench deps build build-san clean

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
	./build/zok

test: build build-san
	@echo "== tests: normal build"
	cd build && ctest --output-on-failure -j2
	@echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build"
	cd build-san && ctest --output-on-failure -j2

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZOK_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j2 --target zok_bench zokc_check_bench
	./build-bench/bench/zok_bench
	./build-bench/bench/check/zokc_check_bench

clean:
	rm -rf build build-san build-bench
