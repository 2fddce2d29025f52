# clang with LLVM's libc++, standing in for the macOS and FreeBSD toolchains: the whole suite,
# warnings as errors, in build/libcxx. GoogleTest is built there from Debian's googletest sources,
# since Debian's libgtest is built against libstdc++. Only the portable word-list scan and CRC are
# built here, as on a processor without x86-64 vector instructions.
#   make libcxx   installs what is missing, builds and runs every test

LIBCXX_PACKAGES := $(sort $(PACKAGES) clang libc++-dev libc++abi-dev googletest)
LIBCXX_BUILD := build/libcxx

.PHONY: libcxx

libcxx:
	@$(MAKE) --no-print-directory deps PACKAGES="$(LIBCXX_PACKAGES)"
	cmake -S . -B $(LIBCXX_BUILD) --toolchain cmake/toolchains/clang-libcxx.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
	  -DZIVAVOD_GTEST_FROM_SOURCE=ON -DZIVAVOD_PORTABLE_ONLY=ON
	cmake --build $(LIBCXX_BUILD) -j $(JOBS)
	@# The program and the tests must run on libc++ alone, with no libstdc++ pulled in.
	@for f in $(LIBCXX_BUILD)/zivavod $(LIBCXX_BUILD)/tests/zivavod_tests \
	    $(LIBCXX_BUILD)/tests/zivavod_cli_tests; do \
	  needed=$$(readelf -d $$f | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' '); \
	  case "$$needed" in *libstdc++*|"") echo "$$f: not libc++ alone: $$needed"; exit 1;; esac; \
	  case "$$needed" in *libc++.so*) ;; *) echo "$$f: no libc++: $$needed"; exit 1;; esac; \
	done
	ctest --test-dir $(LIBCXX_BUILD) -j2 --output-on-failure
