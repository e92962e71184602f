# The two commands of the README, and a few for developers.
#   make run    set up, build and start the app
#   make test   set up, build and pass the whole test suite
#   make install PREFIX=DIR   install the programs, the bundle, the desktop entry, icon and manual
#   make deb    a Debian package in build/package
BUILD ?= build
SAN_BUILD ?= build-san
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
# WERROR=ON turns every compiler warning into an error (CI's first build).
WERROR ?= OFF

.PHONY: run test deps build install deb asan fuzz bench clean

deps:
	@bash scripts/deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVANTA_WERROR=$(WERROR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

deb: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/package/*.deb

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOVANTA_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# libFuzzer targets, built with clang; FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVANTA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $$(ninja -C $(FUZZ_BUILD) -t targets all | sed -n 's/^\([a-z_]*_\(fuzz\|seed\)\): .*/\1/p' | sort -u)
	bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
