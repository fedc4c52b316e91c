# make play: build zok and play the game in game/.
# make test: build and run every test, normally and under the sanitizers.
# make install: install zok, zokc, their manual pages, the bundled game and
# the editor files under PREFIX (default /usr/local).
PREFIX ?= /usr/local
.PHONY: play test deps build build-san install clean

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

clean:
	rm -rf build build-san
