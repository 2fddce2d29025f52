# `make bench`: installs what the benchmark needs, builds the tool and the benchmark programs in
# one Release tree (build/bench) and runs bench/run_bench.sh. See bench/README.md.

BENCH_PACKAGES := cmake g++ make pkg-config zlib1g-dev libminizip-dev libdeflate-dev \
  libbenchmark-dev wamerican valgrind unzip
BENCH_BUILD := build/bench

.PHONY: bench bench-deps bench-build

bench-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(BENCH_PACKAGES)"

bench-build: bench-deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DZIVAVOD_BUILD_TESTS=OFF \
	  -DZIVAVOD_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)

bench: bench-build
	bash bench/run_bench.sh $(BENCH_BUILD)
