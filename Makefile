# A thin layer over the CMake presets: installs what is missing, then builds, runs or tests.
# `make demo` and `make test` each do the whole set-up on a fresh Debian 12 machine as root.

PRESET ?= dev
# valgrind, groff-base and mandoc run parts of the suite (memory checks, manual page checks), and
# the end-to-end cases read packages back with unzip and python3, kill runs with strace and set a
# folder's default ACL with acl, and one test mounts an exFAT image through FUSE (exfat-fuse,
# exfatprogs): a machine set up by `make deps` skips none of it.
PACKAGES := cmake g++ make pkg-config zlib1g-dev libminizip-dev libdeflate-dev libgtest-dev unzip \
  nlohmann-json3-dev \
  exfat-fuse exfatprogs \
  valgrind groff-base mandoc python3 strace acl
BUILD := build/$(PRESET)
# Every core for the builds, here, in mk/ and in the scripts started from there; the test presets
# say how many tests run at once.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
export JOBS
# apt-get, here and in every script started from here, never stops to ask.
export DEBIAN_FRONTEND := noninteractive

.PHONY: all deps configure build demo test clean

all: build

# Installs the packages that are not there yet; without root it says what to run and stops.
deps:
	@missing=$$(for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done | tr '\n' ' '); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -ne 0 ]; then \
	    echo "Missing packages. Install them as root with:"; \
	    echo "apt-get install -y --no-install-recommends $$missing"; \
	    exit 1; \
	  fi; \
	  apt-get update && apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

# Runs the tool on the bundled example in a scratch folder and lists the package it wrote. Only
# the program and the example firmware are built; `make test` builds the rest.
demo: configure
	cmake --build --preset $(PRESET) -j $(JOBS) --target zivavod example_firmware
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	cp examples/example.cfg examples/*.txt $(BUILD)/examples/firmware.bin $(BUILD)/demo/
	cd $(BUILD)/demo && ../zivavod example.cfg
	unzip -l $(BUILD)/demo/example_package.zip

test: build
	ctest --preset $(PRESET)

clean:
	rm -rf build

# Further targets (benchmarks, Windows build, packages) live in mk/, one file each.
-include $(wildcard mk/*.mk)
