# `make bench`: installs what the benchmark needs, builds the tool and the benchmark programs in
# one Release tree (build/bench), builds the tool as it was before libdeflate beside them and the
# WebAssembly build (make web, build/web) and runs bench/run_bench.sh. See bench/README.md.

BENCH_PACKAGES := cmake g++ make pkg-config zlib1g-dev libminizip-dev libdeflate-dev \
  nlohmann-json3-dev \
  libbenchmark-dev wamerican valgrind unzip git
BENCH_BUILD := build/bench
# The tool as it was before libdeflate, deflating with zlib through minizip: the last commit
# before the change, taken from the repository's history and built in BENCH_ZLIB_BUILD, so that
# one run times both side by side.
BENCH_ZLIB_COMMIT := 742a1bc55f22f19433f475430018442a139be992
BENCH_ZLIB_BUILD := $(BENCH_BUILD)/zlib-tool

.PHONY: bench bench-deps bench-build

bench-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(BENCH_PACKAGES)"

bench-build: bench-deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DZIVAVOD_BUILD_TESTS=OFF \
	  -DZIVAVOD_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@if [ "$$(cat $(BENCH_ZLIB_BUILD)/commit 2>/dev/null)" != $(BENCH_ZLIB_COMMIT) ]; then \
	  rm -rf $(BENCH_ZLIB_BUILD) && mkdir -p $(BENCH_ZLIB_BUILD)/src && \
	  git archive --output=$(BENCH_ZLIB_BUILD)/src.tar $(BENCH_ZLIB_COMMIT) && \
	  tar -xf $(BENCH_ZLIB_BUILD)/src.tar -C $(BENCH_ZLIB_BUILD)/src && \
	  echo $(BENCH_ZLIB_COMMIT) > $(BENCH_ZLIB_BUILD)/commit; \
	fi
	cmake -S $(BENCH_ZLIB_BUILD)/src -B $(BENCH_ZLIB_BUILD)/build -DCMAKE_BUILD_TYPE=Release \
	  -DZIVAVOD_BUILD_TESTS=OFF
	cmake --build $(BENCH_ZLIB_BUILD)/build -j $(JOBS) --target zivavod

bench: bench-build web
	bash bench/run_bench.sh $(BENCH_BUILD) $(BENCH_ZLIB_BUILD)/build/zivavod build/web
