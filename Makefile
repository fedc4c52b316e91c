# make play: build zok and play the game in game/.
# make test: build and run every test, normally and under the sanitizers.
.PHONY: play test deps build build-san clean

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

clean:
	rm -rf build build-san
