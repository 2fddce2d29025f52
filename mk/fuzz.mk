# `make fuzz`: builds the libFuzzer targets with clang in build/fuzz (fuzz/CMakeLists.txt), then
# for each target replays its kept inputs and fuzzes it for FUZZ_SECONDS (default 60). A crash,
# leak, hang or failed check fails the command and leaves the input in build/fuzz/artifacts/.
# Longer runs:
#   make fuzz FUZZ_SECONDS=3600                        each target for an hour
#   make fuzz FUZZ_TARGETS=word_list FUZZ_SECONDS=28800 one target overnight
# What a run finds is kept in build/fuzz/corpus/TARGET and used again by the next run. A crash
# input, once fixed, belongs in fuzz/regressions/TARGET.

FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= word_list inspect
FUZZ_BUILD := build/fuzz
FUZZ_TOOLS := clang libclang-rt-14-dev

.PHONY: fuzz fuzz-build

fuzz-build:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(FUZZ_TOOLS)"
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZIVAVOD_BUILD_FUZZ=ON -DZIVAVOD_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)
