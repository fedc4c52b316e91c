# make play: build zok and zokc, and play the game in game/.
# make test: build and run every test, normally and under the sanitizers.
# make install: build zok and zokc as make play does (nothing of the test
# suite: no test tools, no npm) and install them, their manual pages, the
# bundled game, the editor files and the web player page (when make web
# built it) under PREFIX (default /usr/local).
# make web: build the web player page that zokc web fills with a game.
# make bench: build the benchmarks in release mode and run them.
# make fuzz: build the fuzz targets with clang and libFuzzer and run each for
# FUZZ_SECONDS seconds on its corpus in fuzz/corpus/ (make fuzz FUZZ_SECONDS=10).
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = parse exprs check
.PHONY: play test web bench fuzz deps build build-san build-game install clean

# The game and the author's tool alone: what make play and make install need.
build-game:
	@scripts/install-deps play
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
	cmake --build build -j2 --target zok zokc

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
	cmake --build build -j2

build-san: deps
	cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DZOK_SANITIZE=ON
	cmake --build build-san -j2

play: build-game
	@scripts/play-quietly ./build/zok

test: build build-san
	@echo "== tests: normal build"
	cd build && ctest --output-on-failure -j2
	@echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build"
	cd build-san && ctest --output-on-failure -j2

web:
	@scripts/install-deps web
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j2 --target web zokc

install: build-game
	cmake --install build --prefix "$(PREFIX)"

bench:
	@scripts/install-deps bench
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZOK_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j2 --target zok_bench startup_bench zokc_check_bench zokc
	./build-bench/bench/zok_bench
	./build-bench/bench/startup/startup_bench
	cmake --build build-bench --target explore_bench
	./build-bench/bench/check/zokc_check_bench
	cmake --build build-bench --target scale_bench

# Each fuzzer runs niced, from its saved corpus, with the script words in
# fuzz/zok.dict; what it adds goes to a work copy in build-fuzz/corpus, and
# an input that fails to build-fuzz/crashes. Then its runs per second, the
# edges covered and the inputs kept are summed up.
fuzz:
	@scripts/install-deps fuzz
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DZOK_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build build-fuzz -j2 $(addprefix --target fuzz_,$(FUZZ_TARGETS))
	@mkdir -p build-fuzz/crashes
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t && cp -n fuzz/corpus/$$t/* build-fuzz/corpus/$$t/; \
	  echo "== fuzz $$t: $(FUZZ_SECONDS) s"; \
	  dict=-dict=fuzz/zok.dict; [ $$t != exprs ] || dict=; \
	  nice build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $$dict \
	    -artifact_prefix=build-fuzz/crashes/$$t- build-fuzz/corpus/$$t > build-fuzz/$$t.log 2>&1 \
	    || { tail -n 40 build-fuzz/$$t.log; echo "fuzz $$t: failed, input in build-fuzz/crashes/"; exit 1; }; \
	done; \
	echo "== fuzz summary"; \
	for t in $(FUZZ_TARGETS); do \
	  printf '%-6s %s exec/s, %s edges covered, %s inputs kept\n' $$t \
	    "$$(sed -n 's/^stat::average_exec_per_sec: *//p' build-fuzz/$$t.log)" \
	    "$$(grep -o 'cov: [0-9]*' build-fuzz/$$t.log | tail -n 1 | cut -d' ' -f2)" \
	    "$$(ls build-fuzz/corpus/$$t | wc -l)"; \
	done

clean:
	rm -rf build build-san build-bench build-fuzz
