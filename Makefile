# A thin layer over the CMake presets: installs what is missing, then builds, runs or tests.
# `make demo` and `make test` each do the whole set-up on a fresh Debian 12 machine as root.

PRESET ?= dev
PACKAGES := cmake g++ make pkg-config zlib1g-dev libminizip-dev libgtest-dev unzip
BUILD := build/$(PRESET)

.PHONY: all deps build demo test clean

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
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# Runs the tool on the bundled example in a scratch folder and lists the package it wrote.
demo: build
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
